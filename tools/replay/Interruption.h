#pragma once
// Ctrl-C (SIGINT) and SIGTERM during a replay: the first asks the run to stop after the frame in
// hand, so that everything done so far is kept; a second one ends the program at once.

#include <sys/types.h>

#include <memory>

namespace pupiltrak {

class FrameSource;

// Installs the handlers of SIGINT and SIGTERM (once per process).
void InstallInterruptionHandlers();
// The signal that asked for the stop, or 0.
int InterruptSignal();
inline bool Interrupted() { return InterruptSignal() != 0; }
// The exit status of a run stopped by signal: 128 + the signal (130 SIGINT, 143 SIGTERM).
int InterruptedExitStatus(int signal);
// "SIGINT", "SIGTERM".
const char* SignalName(int signal);

// The batch's workers run in process groups of their own (a terminal's Ctrl-C reaches only the
// batch), so the batch passes every signal on to them. At most kMaxForwarded at once.
inline constexpr int kMaxForwarded = 1024;
void ForwardSignalsTo(pid_t pid);
void StopForwardingTo(pid_t pid);

// A source that delivers nothing more once a stop was asked for.
std::unique_ptr<FrameSource> StopWhenInterrupted(std::unique_ptr<FrameSource> source);

}  // namespace pupiltrak
