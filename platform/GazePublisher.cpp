#include "platform/GazePublisher.h"

#include <cerrno>
#include <thread>
#include <zmq.hpp>

namespace pupiltrak {

namespace {
constexpr int kBindAttempts = 20;
}  // namespace

GazePublisher::GazePublisher() = default;

GazePublisher::~GazePublisher() {
  Close();
  std::lock_guard<std::mutex> lock(mutex_);
  context_.reset();
}

bool GazePublisher::Open(const std::string& endpoint, std::string* error, int highWaterMark) {
  zmq::context_t* context = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    socket_.reset();
    endpoint_.clear();
    subscribed_ = false;
    if (!context_) context_ = std::make_unique<zmq::context_t>(1);
    context = context_.get();
  }
  // The new socket is made and bound without the lock (a bind may retry for a while, and a
  // sender must never wait that long); it is handed over under the lock once ready.
  try {
    // XPUB rather than PUB: it tells when a subscriber has arrived (WaitForSubscriber).
    auto socket = std::make_unique<zmq::socket_t>(*context, zmq::socket_type::xpub);
    socket->set(zmq::sockopt::sndhwm, highWaterMark);
    // A full queue makes the send fail instead of dropping silently, so drops can be counted.
    socket->set(zmq::sockopt::xpub_nodrop, 1);
    // Closing never waits for unsent messages.
    socket->set(zmq::sockopt::linger, 0);
    // A socket closed a moment ago lets go of its port on the library's own thread: a port
    // still in use is tried again for a short while before it counts as taken.
    for (int attempt = 0;; ++attempt) {
      try {
        socket->bind(endpoint);
        break;
      } catch (const zmq::error_t& e) {
        if (e.num() != EADDRINUSE || attempt >= kBindAttempts) throw;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    std::string bound = socket->get(zmq::sockopt::last_endpoint);
    std::lock_guard<std::mutex> lock(mutex_);
    socket_ = std::move(socket);
    endpoint_ = std::move(bound);
    return true;
  } catch (const zmq::error_t& e) {
    if (error) *error = e.what();
    return false;
  }
}

void GazePublisher::Close(std::chrono::milliseconds linger) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (socket_ && linger.count() > 0) {
    try {
      socket_->set(zmq::sockopt::linger, static_cast<int>(linger.count()));
    } catch (const zmq::error_t&) {
    }
  }
  socket_.reset();
  endpoint_.clear();
  subscribed_ = false;
}

bool GazePublisher::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return socket_ != nullptr;
}

std::string GazePublisher::BoundEndpoint() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return endpoint_;
}

bool GazePublisher::DrainSubscriptions() {
  bool any = false;
  zmq::message_t message;
  while (socket_->recv(message, zmq::recv_flags::dontwait)) {
    // A subscription starts with byte 1, its cancellation with byte 0.
    if (message.size() > 0 && static_cast<const unsigned char*>(message.data())[0] == 1) any = true;
  }
  return any;
}

bool GazePublisher::Send(const std::string& topic, const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!socket_) return false;
  try {
    if (DrainSubscriptions()) subscribed_ = true;
    // The queue check is made on the first part; once it is in, the second always follows.
    if (!socket_->send(zmq::buffer(topic), zmq::send_flags::sndmore | zmq::send_flags::dontwait)) {
      ++dropped_;
      return false;
    }
    if (!socket_->send(zmq::buffer(body), zmq::send_flags::dontwait)) {
      ++dropped_;
      return false;
    }
  } catch (const zmq::error_t&) {
    ++dropped_;
    return false;
  }
  ++sent_;
  return true;
}

bool GazePublisher::WaitForSubscriber(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!socket_) return false;
      try {
        if (DrainSubscriptions()) subscribed_ = true;
      } catch (const zmq::error_t&) {
        return false;
      }
      if (subscribed_) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace pupiltrak
