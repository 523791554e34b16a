#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

/// The Machine field of a PE image's file header, read from the whole file's bytes: the
/// "MZ" signature, the NT headers' offset (e_lfanew) inside the data, and the "PE\0\0"
/// signature there. Nothing when the bytes are not such an image; never reads past `size`.
std::optional<std::uint16_t> ReadPeMachine(const std::uint8_t* data, std::size_t size);

/// How a VM library's processor fits the running build.
enum class MachineFit {
    Own,          ///< loads in this process
    Pair,         ///< x86 for the 64-bit build, x64 for the 32-bit build: the pair product's
    Unsupported,  ///< ARM64 and every other processor: neither build can host it
};
MachineFit ClassifyMachine(std::uint16_t machine, bool build64);
