// What the error-stop codes of S3SaveSmm mean, and reading a code back from the POST display.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim::report {

// "S3 save table signature is not \"AS3T\"", or a note naming the code's library.
std::string ErrorStopMeaning(uint32_t code);

// The code an error stop's display loop shows, read as a two-digit POST display would (the low
// byte of each port 0x80 write: DE, AD and the code's four bytes from the top), from the last
// complete showing in `port80`; nullopt when no full showing is there.
std::optional<uint32_t> CodeOnPostDisplay(const std::vector<uint32_t> &port80);

// Port 0x80 values without the debug text frames that the framed-port channel sends there
// ("RTS_" ... "DNE_"), so that only POST codes remain.
std::vector<uint32_t> WithoutTextFrames(const std::vector<uint32_t> &port80);

inline constexpr uint32_t kFrameStart = 0x5F535452; // "RTS_"
inline constexpr uint32_t kFrameEnd = 0x5F454E44;   // "DNE_"

} // namespace boardsim::report
