// SPDX-License-Identifier: MIT
// tcr7750stat [-d DEVICE]: the board's state at a glance, changing nothing
// on it.  It opens the device (/dev/tcr7750, or DEVICE) read-only and only
// reads: the status and control registers, the time record as it is now (no
// wait for an interrupt), the version, and what the driver shows in sysfs
// and /proc.  Exit status 0 with
// a good frame, 1 with a bad one, 2 when the board cannot be reached.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <fstream>
#include <limits.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "board_date.h"
#include "device_option.h"
#include "tcr7750_ioctl.h"
#include "tcr7750_regs.h"

namespace {

std::string first_line(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The board behind a device node: its device in /sys/class/tcr7750 (named
// as the board, its "device" the PCI device where the driver shows its
// attributes), found by the node's numbers (board N has minors 4N to
// 4N + 3); "" for a node of no board.
std::string board_sysfs(const char* node)
{
    struct stat st{};
    char path[64], board[PATH_MAX];
    if (stat(node, &st) != 0 || !S_ISCHR(st.st_mode))
        return "";
    std::snprintf(path, sizeof path, "/sys/dev/char/%u:%u", major(st.st_rdev), minor(st.st_rdev) & ~3u);
    return realpath(path, board) ? board : "";
}

// The board's clock, /dev/ptpN, and the stable name that points at it when there is one.
std::string clock_device(const std::string& board)
{
    std::string found;
    if (DIR* clocks = opendir((board + "/device/ptp").c_str())) {
        while (dirent* entry = readdir(clocks)) {
            if (entry->d_name[0] != '.') {
                found = std::string("/dev/") + entry->d_name;
                break;
            }
        }
        closedir(clocks);
    }
    if (found.empty())
        return "none";
    std::string stable = "/dev/ptp_" + first_line(board + "/device/ptp/" + found.substr(5) + "/clock_name");
    char target[PATH_MAX];
    if (realpath(stable.c_str(), target) && found == target)
        found += " (" + stable + ")";
    return found;
}

// The line the board's driver holds, from /proc/interrupts, where it is
// named as the board.
std::string interrupt_in_use(const std::string& name)
{
    std::ifstream in("/proc/interrupts");
    std::string line;
    while (std::getline(in, line)) {
        size_t at = line.rfind(" " + name);
        if (at != std::string::npos && at + 1 + name.size() == line.size())
            return "line " + std::to_string(std::atoi(line.c_str()));
    }
    return "none";
}

const char* decoding(uint16_t control)
{
    switch (control & CTL_MODE_MASK) {
    case CTL_MODE_AFNOR:
        return TCR7750_IRIG_MODE_TEXT_AFNOR;
    case CTL_MODE_TD:
        return TCR7750_IRIG_MODE_TEXT_TD;
    default:
        return TCR7750_IRIG_MODE_TEXT_STANDARD;
    }
}

std::string version_text(const uint8_t (&version)[REG_VERSION_SIZE])
{
    std::string text;
    for (unsigned start : {REG_VERSION_PART1, REG_VERSION_PART2}) {
        if (!text.empty())
            text += ' ';
        for (unsigned i = 0; i < REG_VERSION_PART_CHARS; i++) {
            uint8_t c = version[start - REG_VERSION + i];
            text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
    }
    return text;
}

int64_t realtime_ns()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// The record's date and time as nanoseconds since 1970 (UTC).
int64_t record_ns(const tcr7750_time& r)
{
    return board_seconds_in(r.year, r) * 1'000'000'000LL + r.microsecond * 1000LL;
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "tcr7750stat [-d DEVICE]";
    const char* path = take_device_option(argc, argv, usage);
    if (!path)
        return 2;
    if (argc > 1) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    int device = open(path, O_RDONLY | O_NONBLOCK);
    if (device < 0) {
        std::puts("Device open error");
        return 2;
    }
    uint32_t registers = 0;
    uint8_t version[REG_VERSION_SIZE] = {};
    tcr7750_time record{};
    int64_t before = realtime_ns();
    bool read_ok = read(device, &record, sizeof record) == static_cast<ssize_t>(sizeof record);
    int64_t after = realtime_ns();
    bool status_ok = ioctl(device, TCR7750_IOC_GET_STATUS, &registers) == 0;
    bool version_ok = ioctl(device, TCR7750_IOC_GET_VERSION, version) == 0;
    close(device);
    if (!read_ok || !status_ok || !version_ok) {
        std::puts("Board read error");
        return 2;
    }

    uint16_t status = registers & 0xFFFF, control = registers >> 16;
    bool frame_ok = status & ST_FRAME_OK;
    bool td = (control & CTL_MODE_MASK) == CTL_MODE_TD;
    std::string board = board_sysfs(path);
    std::string year_set = board.empty() ? "" : first_line(board + "/device/year_set");

    std::printf("frame:        %s\n", frame_ok ? "good" : "bad");
    std::printf("error code:   %u\n", (status & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT);
    std::printf("time quality: %u (TFOM)\n", (status & ST_TFOM) >> ST_TFOM_SHIFT);
    std::printf("decoding:     %s\n", decoding(control));
    std::printf("version:      %s\n", version_text(version).c_str());
    std::printf("interrupt:    %s\n", interrupt_in_use(board.substr(board.rfind('/') + 1)).c_str());
    if (td) {
        std::printf("board time:   none in the TD/H0 decoding; time difference %c%03u %02u:%02u:%02u.%06u, state %c\n",
                    record.sign_negative ? '-' : '+', record.day_of_year, record.hour, record.minute, record.second,
                    record.microsecond, record.state_s ? 'S' : 'R');
    } else {
        std::printf("board time:   %04u day %03u %02u:%02u:%02u.%06u UTC%s\n", record.year, record.day_of_year,
                    record.hour, record.minute, record.second, record.microsecond,
                    frame_ok ? "" : " (bad frame: not kept)");
        double offset = static_cast<double>(record_ns(record) - (before + (after - before) / 2)) / 1e9;
        std::printf("offset:       %+.6f s from the system clock\n", offset);
    }
    std::printf("clock:        %s\n", clock_device(board).c_str());
    std::printf("year:         %u, %s\n", record.year,
                year_set == "1"   ? "set since the board appeared"
                : year_set == "0" ? "not set since the board appeared: the clock serves no time"
                                  : "unknown (no year_set attribute)");
    return frame_ok ? 0 : 1;
}
