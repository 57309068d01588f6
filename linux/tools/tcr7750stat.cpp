// SPDX-License-Identifier: MIT
// tcr7750stat [-d DEVICE] [--json | --prometheus [FILE]]: the board's state
// at a glance, changing nothing on it.  It opens the device (/dev/tcr7750,
// or DEVICE) read-only and only reads: the status and control registers,
// the time record as it is now (no wait for an interrupt), the version, and
// what the driver shows in sysfs and /proc.  As text for people, JSON for
// scripts, or the Prometheus text format for node_exporter's textfile
// collector: every board the driver has unless -d names one, written to FILE
// atomically (a temporary file in its folder, then renamed), so the
// collector never reads half a file.  Exit status 0 with a good frame, 1
// with a bad one, 2 when the board cannot be reached; with --prometheus 0
// once the metrics are out (a board that cannot be read is a metric).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <fstream>
#include <limits.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <vector>
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

// Everything shown of one board, read once.
struct Reading {
    std::string device;
    bool opened = false;
    bool up = false; // opened, and every read answered
    uint16_t status = 0, control = 0;
    tcr7750_time record{};
    int64_t system_ns = 0; // the system clock in the middle of the record's read
    uint8_t version[REG_VERSION_SIZE] = {};
    std::string sysfs; // the board's class device; "" when not found

    bool frame_ok() const { return status & ST_FRAME_OK; }
    bool td() const { return (control & CTL_MODE_MASK) == CTL_MODE_TD; }
    bool has_time() const { return frame_ok() && !td(); }
    unsigned error_code() const { return (status & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT; }
    unsigned tfom() const { return (status & ST_TFOM) >> ST_TFOM_SHIFT; }
    double offset_s() const { return static_cast<double>(record_ns(record) - system_ns) / 1e9; }
    // One of the driver's attributes of the board ("" without it).
    std::string attribute(const char* name) const { return sysfs.empty() ? "" : first_line(sysfs + "/device/" + name); }
};

Reading read_board(const std::string& path)
{
    Reading r;
    r.device = path;
    int device = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (device < 0)
        return r;
    r.opened = true;
    uint32_t registers = 0;
    int64_t before = realtime_ns();
    bool read_ok = read(device, &r.record, sizeof r.record) == static_cast<ssize_t>(sizeof r.record);
    int64_t after = realtime_ns();
    r.up = read_ok && ioctl(device, TCR7750_IOC_GET_STATUS, &registers) == 0 &&
           ioctl(device, TCR7750_IOC_GET_VERSION, r.version) == 0;
    close(device);
    r.system_ns = before + (after - before) / 2;
    r.status = registers & 0xFFFF;
    r.control = registers >> 16;
    r.sysfs = board_sysfs(path.c_str());
    return r;
}

int print_text(const Reading& r)
{
    std::string year_set = r.attribute("year_set"), year_confirmed = r.attribute("year_confirmed");
    const tcr7750_time& record = r.record;
    std::printf("frame:        %s\n", r.frame_ok() ? "good" : "bad");
    std::printf("error code:   %u\n", r.error_code());
    std::printf("time quality: %u (TFOM)\n", r.tfom());
    std::printf("decoding:     %s\n", tcr7750_irig_mode_text(r.control));
    std::printf("version:      %s\n", version_text(r.version).c_str());
    std::printf("interrupt:    %s\n", interrupt_in_use(r.sysfs.substr(r.sysfs.rfind('/') + 1)).c_str());
    if (r.td()) {
        std::printf("board time:   none in the TD/H0 decoding; time difference %c%03u %02u:%02u:%02u.%06u, state %c\n",
                    record.sign_negative ? '-' : '+', record.day_of_year, record.hour, record.minute, record.second,
                    record.microsecond, record.state_s ? 'S' : 'R');
    } else {
        std::printf("board time:   %04u day %03u %02u:%02u:%02u.%06u UTC%s\n", record.year, record.day_of_year,
                    record.hour, record.minute, record.second, record.microsecond,
                    r.frame_ok() ? "" : " (bad frame: not kept)");
        std::printf("offset:       %+.6f s from the system clock\n", r.offset_s());
    }
    std::printf("clock:        %s\n", clock_device(r.sysfs).c_str());
    std::printf("year:         %u, %s\n", record.year,
                year_set == "0"          ? "not set since the board appeared: the clock serves no time"
                : year_confirmed == "0"  ? "set but not confirmed (tcr7750year, as root, with a good frame): "
                                           "the clock serves no time"
                : year_set == "1"        ? "set since the board appeared"
                                         : "unknown (no year_set attribute)");
    std::string watch = r.attribute("frame_state");
    if (!watch.empty())
        std::printf("watch:        %s; %s losses, %s s lost since the board appeared\n", watch.c_str(),
                    r.attribute("frame_losses").c_str(), r.attribute("frame_lost_seconds").c_str());
    return r.frame_ok() ? 0 : 1;
}

// A JSON or Prometheus string: quoted, its quotes and backslashes escaped.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text)
        out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return out + "\"";
}

// An attribute that holds a number, or the JSON null without it.
std::string number_or_null(const std::string& text)
{
    return text.empty() ? "null" : text;
}

void print_json(const Reading& r)
{
    if (!r.up) {
        std::printf("{\"device\": %s, \"up\": false}\n", quoted(r.device).c_str());
        return;
    }
    char offset[32] = "null";
    if (r.has_time())
        std::snprintf(offset, sizeof offset, "%.9f", r.offset_s());
    auto flag = [&](const char* name) { return std::string(r.attribute(name) == "1" ? "true" : "false"); };
    std::printf("{\"device\": %s, \"up\": true, \"frame\": %s, \"error_code\": %u, \"tfom\": %u, "
                "\"decoding\": %s, \"version\": %s, \"interrupt\": %s, \"clock\": %s, \"offset_seconds\": %s, "
                "\"year\": %u, \"year_set\": %s, \"year_confirmed\": %s, \"frame_state\": %s, "
                "\"frame_losses\": %s, \"frame_lost_seconds\": %s}\n",
                quoted(r.device).c_str(), r.frame_ok() ? "\"good\"" : "\"bad\"", r.error_code(), r.tfom(),
                quoted(tcr7750_irig_mode_text(r.control)).c_str(), quoted(version_text(r.version)).c_str(),
                quoted(interrupt_in_use(r.sysfs.substr(r.sysfs.rfind('/') + 1))).c_str(),
                quoted(clock_device(r.sysfs)).c_str(), offset, r.record.year, flag("year_set").c_str(),
                flag("year_confirmed").c_str(), quoted(r.attribute("frame_state")).c_str(),
                number_or_null(r.attribute("frame_losses")).c_str(),
                number_or_null(r.attribute("frame_lost_seconds")).c_str());
}

// The metrics, in the order shown, each with its help text.
struct Family {
    const char* name;
    const char* type;
    const char* help;
};
const Family families[] = {
    {"tcr7750_up", "gauge", "1 when the board could be read, else 0."},
    {"tcr7750_frame_state", "gauge", "1 for the state the time code frame is in now (good, lost), else 0."},
    {"tcr7750_error_code", "gauge", "The board's error code (meaningful while the frame is lost)."},
    {"tcr7750_tfom", "gauge", "The time figure of merit the time code carries."},
    {"tcr7750_decoding", "gauge", "1 for the decoding set (standard, afnor, td), else 0."},
    {"tcr7750_offset_seconds", "gauge", "The board's time minus the system clock; only while the board gives a time."},
    {"tcr7750_year", "gauge", "The year the board counts."},
    {"tcr7750_year_set", "gauge", "1 once a year was written since the board appeared, else 0."},
    {"tcr7750_year_confirmed", "gauge", "1 while the board's clock may serve its year, else 0 (no time served)."},
    {"tcr7750_frame_losses_total", "counter", "Times the driver saw the frame lost since the board appeared."},
    {"tcr7750_frame_lost_seconds_total", "counter", "Time the frame was lost since the board appeared."},
};

std::string prometheus_text(const std::vector<Reading>& boards)
{
    std::vector<std::string> samples(std::size(families));
    auto add = [&](size_t family, const Reading& r, const std::string& value, const std::string& label = "") {
        samples[family] += std::string(families[family].name) + "{device=" + quoted(r.device) + label + "} " +
                           value + "\n";
    };
    for (const Reading& r : boards) {
        add(0, r, r.up ? "1" : "0");
        if (!r.up)
            continue;
        add(1, r, r.frame_ok() ? "1" : "0", ",state=\"good\"");
        add(1, r, r.frame_ok() ? "0" : "1", ",state=\"lost\"");
        add(2, r, std::to_string(r.error_code()));
        add(3, r, std::to_string(r.tfom()));
        for (const char* mode : {TCR7750_IRIG_MODE_TEXT_STANDARD, TCR7750_IRIG_MODE_TEXT_AFNOR, TCR7750_IRIG_MODE_TEXT_TD})
            add(4, r, std::strcmp(mode, tcr7750_irig_mode_text(r.control)) == 0 ? "1" : "0", ",decoding=" + quoted(mode));
        if (r.has_time()) {
            char offset[32];
            std::snprintf(offset, sizeof offset, "%.9f", r.offset_s());
            add(5, r, offset);
        }
        add(6, r, std::to_string(r.record.year));
        const char* attributes[] = {"year_set", "year_confirmed", "frame_losses", "frame_lost_seconds"};
        for (size_t i = 0; i < std::size(attributes); i++)
            if (std::string value = r.attribute(attributes[i]); !value.empty())
                add(7 + i, r, value);
    }
    std::string text;
    for (size_t i = 0; i < std::size(families); i++)
        if (!samples[i].empty())
            text += std::string("# HELP ") + families[i].name + " " + families[i].help + "\n# TYPE " +
                    families[i].name + " " + families[i].type + "\n" + samples[i];
    return text;
}

// Every board the driver has, by its node; the first board's node when it has none.
std::vector<std::string> every_board()
{
    std::vector<std::string> nodes;
    if (DIR* boards = opendir("/sys/class/" TCR7750_DEVICE_NAME)) {
        while (dirent* entry = readdir(boards))
            if (entry->d_name[0] != '.')
                nodes.push_back(std::string("/dev/") + entry->d_name);
        closedir(boards);
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes.empty() ? std::vector<std::string>{TCR7750_DEVICE_PATH} : nodes;
}

// Into a temporary file beside path, then renamed over it: a reader finds
// the old file or the new one, whole.
bool write_atomically(const std::string& path, const std::string& text)
{
    std::string temporary = path + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        std::fprintf(stderr, "tcr7750stat: %s: %s\n", temporary.c_str(), std::strerror(errno));
        return false;
    }
    bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                   fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    written = close(fd) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        std::fprintf(stderr, "tcr7750stat: %s: %s\n", path.c_str(), std::strerror(errno));
        unlink(temporary.c_str());
    }
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "tcr7750stat [-d DEVICE] [--json | --prometheus [FILE]]";
    bool one_board = argc > 1 && std::strcmp(argv[1], "-d") == 0;
    const char* path = take_device_option(argc, argv, usage);
    if (!path)
        return 2;
    std::string format = argc > 1 ? argv[1] : "";
    if ((format != "" && format != "--json" && format != "--prometheus") || argc > (format == "--prometheus" ? 3 : 2)) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    if (format == "--prometheus") {
        std::vector<Reading> boards;
        for (const std::string& node : one_board ? std::vector<std::string>{path} : every_board())
            boards.push_back(read_board(node));
        std::string text = prometheus_text(boards);
        if (argc == 3)
            return write_atomically(argv[2], text) ? 0 : 1;
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    Reading board = read_board(path);
    if (format == "--json") {
        print_json(board);
        return !board.up ? 2 : board.frame_ok() ? 0 : 1;
    }
    if (!board.up) {
        std::puts(board.opened ? "Board read error" : "Device open error");
        return 2;
    }
    return print_text(board);
}
