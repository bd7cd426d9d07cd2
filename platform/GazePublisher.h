#pragma once
// A ZeroMQ publisher of two-part messages (topic, body) that never makes its caller wait for
// the network: sends are non-blocking into a bounded queue, and a message that finds a
// subscriber's queue full is dropped and counted.
//
// Thread safety: every operation takes the publisher's own lock, so one thread may open or
// close the socket (the dialog) while another sends (the frame thread). The lock is only ever
// held for a bind, a close or a non-blocking send.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zmq {
class context_t;
class socket_t;
}  // namespace zmq

namespace pupiltrak {

inline constexpr const char* kDefaultGazeEndpoint = "tcp://127.0.0.1:5570";

// What is wrong with a tcp:// endpoint's port (not a number, outside 1 to 65535; "*" and 0 pick
// a free port), as a sentence; empty when nothing is. Other transports are left to the library.
std::string EndpointPortProblem(const std::string& endpoint);
// The endpoint to bind: a tcp:// host name resolved to its first address ("localhost" ->
// 127.0.0.1). false with a sentence in *error when the name cannot be resolved or the port is
// wrong.
bool ResolveEndpoint(const std::string& endpoint, std::string* bindable, std::string* error);

class GazePublisher {
 public:
  // Messages queued per subscriber before new ones are dropped (about 30 s of frames at 30 fps).
  static constexpr int kDefaultHighWaterMark = 1000;

  GazePublisher();
  ~GazePublisher();
  GazePublisher(const GazePublisher&) = delete;
  GazePublisher& operator=(const GazePublisher&) = delete;

  // Binds a new socket to endpoint (closing any open one first; a host name is resolved). On
  // failure returns false with the reason in *error and leaves the publisher closed.
  bool Open(const std::string& endpoint, std::string* error,
            int highWaterMark = kDefaultHighWaterMark);
  // Closes the socket. Messages still queued are sent on in the background for up to linger
  // (0: dropped at once); the call itself never waits. Harmless when closed.
  void Close(std::chrono::milliseconds linger = std::chrono::milliseconds(0));
  bool IsOpen() const;
  // The endpoint actually bound (a port 0 request resolved to its port); empty when closed.
  std::string BoundEndpoint() const;

  // Queues one message without waiting. Returns false when it was not queued: the publisher
  // is closed (not counted) or a subscriber's queue is full (counted as dropped). With no
  // subscriber at all the message is accepted and goes nowhere.
  bool Send(const std::string& topic, const std::string& body);

  // Waits until a subscriber has subscribed or timeout has passed; true if one has. Used
  // before a recorded input starts, so that a subscriber started first misses no message.
  bool WaitForSubscriber(std::chrono::milliseconds timeout);

  // Messages queued and dropped since the publisher was made (across opens).
  uint64_t Sent() const { return sent_.load(); }
  uint64_t Dropped() const { return dropped_.load(); }

 private:
  // Reads pending subscription messages; true if a subscription was among them. Lock held.
  bool DrainSubscriptions();

  mutable std::mutex mutex_;
  std::unique_ptr<zmq::context_t> context_;
  std::unique_ptr<zmq::socket_t> socket_;
  std::string endpoint_;
  bool subscribed_ = false;
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace pupiltrak
