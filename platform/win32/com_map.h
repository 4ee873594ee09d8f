// COM numbers to device paths on POSIX (the rule is described in win32_kernel.h).
#pragma once

#include <string>

namespace win32_posix {

// The dosdevices folder: $XDG_CONFIG_HOME/cmt2300-config/dosdevices, with XDG_CONFIG_HOME
// defaulting to ~/.config. Empty when neither it nor a home folder is known.
std::string DosDevicesFolder();

// The device path of COM number `number`, or an empty string when it has none: the
// folder's entry "com<number>" when it exists (even when it names nothing any more),
// else the built-in table unless CMT2300_DOSDEVICES_ONLY is "1".
std::string ResolveComPort(unsigned number);

// The COM number named by a device name, "COMn" (n from 1 to 9) or "\\.\COMn" (n >= 1,
// no leading zeros, "COM" in any case); 0 when the name is no COM name.
unsigned ParseComName(const char* name);

} // namespace win32_posix
