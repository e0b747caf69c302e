// The operating-system services the installer needs, behind one small header;
// one implementation per platform (posix/ here). No Qt.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The folder for the downloaded installer: $TMPDIR when it names an existing directory,
// else /tmp; always ends with "/".
std::string TempFolder();

// The hardware address of the first network interface that has one (loopback excluded),
// in the order the system lists them. No value when there is none.
std::optional<std::array<std::uint8_t, 6>> FirstAdapterHardwareAddress();

// Starts program `path` as a new process in its own session with argv = { path, args... },
// no inherited descriptors beyond 0-2, and does not wait for it. A regular file is first made
// executable by its owner (a download arrives without that bit). Returns false when the
// process could not be started (missing file, no program, ...).
bool LaunchDetached(const std::string& path, const std::vector<std::string>& args);

}  // namespace platform
