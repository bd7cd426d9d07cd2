#include "platform/GazePublisher.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <thread>
#include <zmq.hpp>

namespace pupiltrak {

namespace {
constexpr int kBindAttempts = 20;

// Host and port of a tcp:// endpoint ("tcp://[::1]:5570" keeps its brackets off the host).
bool SplitTcp(const std::string& endpoint, std::string* host, std::string* port) {
  const std::string scheme = "tcp://";
  if (endpoint.rfind(scheme, 0) != 0) return false;
  const std::string rest = endpoint.substr(scheme.size());
  const size_t colon = rest.rfind(':');
  *host = colon == std::string::npos ? rest : rest.substr(0, colon);
  *port = colon == std::string::npos ? "" : rest.substr(colon + 1);
  return true;
}

bool IsNumericHost(const std::string& host) {
  unsigned char buf[sizeof(struct in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}
}  // namespace

std::string EndpointPortProblem(const std::string& endpoint) {
  std::string host, port;
  if (!SplitTcp(endpoint, &host, &port)) return "";
  if (port == "*") return "";
  const bool digits =
      !port.empty() && port.size() <= 6 &&
      std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
  if (!digits) return "the endpoint " + endpoint + " needs a port number after its last ':'";
  const long n = std::stol(port);
  if (n > 65535) return "the port " + port + " of " + endpoint + " is outside 1 to 65535";
  return "";
}

bool ResolveEndpoint(const std::string& endpoint, std::string* bindable, std::string* error) {
  *bindable = endpoint;
  const std::string problem = EndpointPortProblem(endpoint);
  if (!problem.empty()) {
    *error = problem;
    return false;
  }
  std::string host, port;
  if (!SplitTcp(endpoint, &host, &port) || host == "*" || host.empty() ||
      (host.front() == '[' && host.back() == ']') || IsNumericHost(host))
    return true;
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found) {
    *error = "the host name '" + host + "' cannot be resolved (" + gai_strerror(rc) + ")";
    return false;
  }
  // The first IPv4 address when there is one: what "localhost" means to most subscribers.
  const addrinfo* pick = found;
  for (const addrinfo* a = found; a; a = a->ai_next)
    if (a->ai_family == AF_INET) {
      pick = a;
      break;
    }
  char text[INET6_ADDRSTRLEN] = {};
  const void* address =
      pick->ai_family == AF_INET
          ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(pick->ai_addr)->sin_addr)
          : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(pick->ai_addr)->sin6_addr);
  inet_ntop(pick->ai_family, address, text, sizeof text);
  const bool v6 = pick->ai_family == AF_INET6;
  ::freeaddrinfo(found);
  *bindable = "tcp://" + std::string(v6 ? "[" : "") + text + (v6 ? "]" : "") + ":" + port;
  return true;
}

GazePublisher::GazePublisher() = default;

GazePublisher::~GazePublisher() {
  Close();
  std::lock_guard<std::mutex> lock(mutex_);
  context_.reset();
}

bool GazePublisher::Open(const std::string& asked, std::string* error, int highWaterMark) {
  std::string endpoint, why;
  if (!ResolveEndpoint(asked, &endpoint, &why)) {
    Close();
    if (error) *error = why;
    return false;
  }
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
