#pragma once

// What the statistics store reports of the machine. Each fact is optional: a query that
// failed leaves it out, and the store then leaves its key unset (memory, system version)
// or uses an empty name or a clock of 0.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct MachineFacts {
    std::optional<std::uint64_t> memoryBytes;
    // The kernel release packed as major (two BCD digits), minor and patch (one digit
    // each, at most 9): 6.1.0 -> 0x0610, 5.15.3 -> 0x0593.
    std::optional<std::uint16_t> systemVersion;
    std::optional<std::string> modelName;
    std::optional<long> clockMHz;
    long processorCount = 1;
};

using MachineFactsSource = std::function<MachineFacts()>;

// The facts of this machine: sysinfo, the DMI product name, cpufreq or /proc/cpuinfo,
// sysconf and uname.
MachineFacts ReadMachineFacts();

// A kernel release text ("6.1.0-18-amd64") packed as above; none when it does not start
// with a number.
std::optional<std::uint16_t> PackKernelRelease(const std::string& release);

// Key 82's text: "name;MHz", or "name;MHzxcount" with two or more processors.
std::string FormatMachineModel(const MachineFacts& facts);
