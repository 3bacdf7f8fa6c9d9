// ECommError: the only exception the serial component throws, for configuration and open
// failures. Its texts are the component's own, in English; the window catches the exception and
// shows its own message instead. Data-path failures are reported by return values and events.
#pragma once

#include <stdexcept>

namespace tessaly {

class ECommError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace comm_message {
inline constexpr const char* kOpenedAlready = "Port has been opened already";
inline constexpr const char* kCouldNotOpen = "Port could not be opened";
inline constexpr const char* kTransThread = "Thread for transmission could not be generated";
inline constexpr const char* kReceiveThread = "Thread for reception could not be generated";
inline constexpr const char* kBuffer = "Buffer of the port for communication could not be prepared";
inline constexpr const char* kBaudRate = "Error was generated with configuration of Baud rate";
inline constexpr const char* kParity =
    "Error was generated with configuration of communication parity check";
inline constexpr const char* kStopBits =
    "Error was generated with configuration of the number of communication stop bits";
inline constexpr const char* kFlowCtrl = "Failed with configuration of communication flow control";
inline constexpr const char* kXonChar = "Error was generated with configuration of Xon character";
inline constexpr const char* kXoffChar = "Error was generated with configuration of Xoff character";
inline constexpr const char* kTimeOut = "Failed with configuration of communication timeout time";
}  // namespace comm_message

}  // namespace tessaly
