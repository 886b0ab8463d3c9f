#include "platform/linux/ProcessInfo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <limits>
#include <string>

namespace klosia {

namespace {

// Files of /proc are generated on read; a larger one than this is not what we expect.
constexpr std::size_t kMaxProcFile = std::size_t{4} << 20;

// PF_KTHREAD among the flags of /proc/PID/stat.
constexpr std::uint32_t kKernelThreadFlag = 0x00200000;

int openRetrying(int dirFd, const char* path) {
    int fd = -1;
    do {
        fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t readRetrying(int fd, char* buffer, std::size_t size) {
    ssize_t got = -1;
    do {
        got = ::read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

// The whole content of a /proc file, or nullopt when it cannot be opened or read.
std::optional<std::string> readProcFile(const std::string& path) {
    const int fd = openRetrying(AT_FDCWD, path.c_str());
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    std::array<char, 4096> chunk{};
    bool ok = true;
    for (;;) {
        const ssize_t got = readRetrying(fd, chunk.data(), chunk.size());
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (content.size() + static_cast<std::size_t>(got) > kMaxProcFile) {
            ok = false;
            break;
        }
        content.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!ok) {
        return std::nullopt;
    }
    return content;
}

std::string procPath(pid_t pid, const char* entry) {
    return "/proc/" + std::to_string(pid) + "/" + entry;
}

template <typename Number>
bool parseWhole(std::string_view text, Number& value) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end;
}

// Splits the text after the command name into fields, one at a time.
class FieldReader {
public:
    explicit FieldReader(std::string_view text) : text_(text) {}

    std::optional<std::string_view> next() {
        while (pos_ < text_.size() && isSeparator(text_[pos_])) {
            ++pos_;
        }
        if (pos_ >= text_.size()) {
            return std::nullopt;
        }
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isSeparator(text_[pos_])) {
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    // Whether the last field read was followed by a separator: the kernel writes more fields
    // and a line feed after every one we read, so a field at the very end may have been cut.
    bool fieldEnded() const { return pos_ < text_.size(); }

private:
    static bool isSeparator(char c) { return c == ' ' || c == '\n'; }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<ProcStat> ProcessInfo::parseStat(std::string_view content) {
    // "PID (COMM) S PPID PGRP SESSION TTY TPGID FLAGS MINFLT CMINFLT MAJFLT CMAJFLT UTIME
    // STIME CUTIME CSTIME PRIORITY NICE THREADS ITREALVALUE STARTTIME ..."
    const std::size_t open = content.find(" (");
    const std::size_t close = content.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    ProcStat result;
    const auto pid = parsePid(content.substr(0, open));
    if (!pid) {
        return std::nullopt;
    }
    result.pid = *pid;

    FieldReader fields(content.substr(close + 1));
    // Field numbers as proc(5) counts them: the state is field 3.
    for (int number = 3; number <= 22; ++number) {
        const auto field = fields.next();
        if (!field) {
            return std::nullopt;
        }
        bool ok = true;
        switch (number) {
            case 3:
                ok = field->size() == 1;
                result.state = field->front();
                break;
            case 4:
                ok = parseWhole(*field, result.ppid) && result.ppid >= 0;
                break;
            case 9: {
                std::uint32_t flags = 0;
                ok = parseWhole(*field, flags);
                result.kernelThread = (flags & kKernelThreadFlag) != 0;
                break;
            }
            case 14:
                ok = parseWhole(*field, result.utime);
                break;
            case 15:
                ok = parseWhole(*field, result.stime);
                break;
            case 22:
                // A line cut inside the start time would name another moment, hence another
                // process: it must end where the kernel's separator says.
                ok = parseWhole(*field, result.startTime) && fields.fieldEnded();
                break;
            default:
                break;
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    return result;
}

std::optional<ProcStat> ProcessInfo::stat(pid_t pid) {
    const int procFd = openRetrying(AT_FDCWD, "/proc");
    if (procFd < 0) {
        return std::nullopt;
    }
    std::array<char, 1024> buffer{};
    auto result = statAt(procFd, pid, buffer.data(), buffer.size());
    ::close(procFd);
    return result;
}

std::optional<ProcStat> ProcessInfo::statAt(int procDirFd, pid_t pid, char* buffer,
                                            std::size_t size) {
    if (pid <= 0 || buffer == nullptr || size == 0) {
        return std::nullopt;
    }
    // "2147483647/stat" and its terminator fit easily.
    std::array<char, 32> path{};
    auto [end, error] = std::to_chars(path.data(), path.data() + path.size() - 6, pid);
    if (error != std::errc()) {
        return std::nullopt;
    }
    std::copy_n("/stat", 6, end);
    const int fd = openRetrying(procDirFd, path.data());
    if (fd < 0) {
        return std::nullopt;
    }
    // The kernel writes the whole line in one read; the fields we need come long before the
    // end of even the smallest buffer a caller would pass.
    const ssize_t got = readRetrying(fd, buffer, size);
    ::close(fd);
    if (got <= 0) {
        return std::nullopt;
    }
    auto result = parseStat(std::string_view(buffer, static_cast<std::size_t>(got)));
    if (!result || result->pid != pid) {
        return std::nullopt;
    }
    return result;
}

std::optional<std::uint64_t> ProcessInfo::startTime(pid_t pid) {
    const auto current = ProcessInfo::stat(pid);
    if (!current) {
        return std::nullopt;
    }
    return current->startTime;
}

ProcessLife ProcessInfo::life(pid_t pid, std::uint64_t startTime) {
    if (pid <= 0) {
        return ProcessLife::ended;
    }
    const int fd = openRetrying(AT_FDCWD, procPath(pid, "stat").c_str());
    if (fd < 0) {
        // Only a missing entry means the process is gone; anything else (EMFILE, ENFILE, ENOMEM)
        // says nothing about it.
        return errno == ENOENT || errno == ESRCH ? ProcessLife::ended : ProcessLife::unknown;
    }
    std::array<char, 1024> buffer{};
    const ssize_t got = readRetrying(fd, buffer.data(), buffer.size());
    const int readError = got < 0 ? errno : 0;
    ::close(fd);
    if (got <= 0) {
        // The process went between open and read: its entry answers ESRCH.
        return readError == ESRCH ? ProcessLife::ended : ProcessLife::unknown;
    }
    const auto current = parseStat(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    if (!current || current->pid != pid) {
        return ProcessLife::unknown;
    }
    return current->startTime == startTime && !current->hasEnded() ? ProcessLife::running
                                                                   : ProcessLife::ended;
}

std::optional<ProcessUids> ProcessInfo::parseUids(std::string_view status) {
    // "Uid:\t<real>\t<effective>\t<saved>\t<filesystem>\n"
    std::size_t label = status.rfind("Uid:", 0) == 0 ? 0 : status.find("\nUid:");
    if (label == std::string_view::npos) {
        return std::nullopt;
    }
    label += status[label] == '\n' ? 5 : 4;
    std::string_view line = status.substr(label);
    const std::size_t end = line.find('\n');
    if (end == std::string_view::npos) {
        return std::nullopt;  // a cut file: the last id may be cut too
    }
    line = line.substr(0, end);
    std::array<uid_t, 3> ids{};
    for (uid_t& id : ids) {
        const std::size_t begin = line.find_first_not_of(" \t");
        if (begin == std::string_view::npos) {
            return std::nullopt;
        }
        line = line.substr(begin);
        const std::size_t stop = std::min(line.find_first_of(" \t"), line.size());
        if (!parseWhole(line.substr(0, stop), id)) {
            return std::nullopt;
        }
        line = line.substr(stop);
    }
    return ProcessUids{ids[0], ids[1], ids[2]};
}

std::optional<ProcessUids> ProcessInfo::uids(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const auto status = readProcFile(procPath(pid, "status"));
    return status ? parseUids(*status) : std::nullopt;
}

std::optional<uid_t> ProcessInfo::uid(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    if (const auto ids = uids(pid)) {
        return ids->real;
    }
    // Without a readable status the owner of the directory is the next best answer (the
    // effective uid, or root for a process that is not dumpable).
    struct stat info {};
    if (::stat(procPath(pid, "").c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_uid;
}

QString ProcessInfo::exePath(pid_t pid) {
    if (pid <= 0) {
        return {};
    }
    const std::string path = procPath(pid, "exe");
    std::string target(4096, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < target.size()) {
            target.resize(static_cast<std::size_t>(length));
            return QFile::decodeName(QByteArray::fromStdString(target));
        }
        target.resize(target.size() * 2);  // truncated: the link is longer than the buffer
    }
    return {};
}

QStringList ProcessInfo::cmdline(pid_t pid) {
    if (pid <= 0) {
        return {};
    }
    const auto content = readProcFile(procPath(pid, "cmdline"));
    if (!content || content->empty()) {
        return {};
    }
    QStringList arguments;
    std::string_view rest(*content);
    // Each argument ends with a NUL; a process that rewrote its arguments may leave the last
    // one unterminated.
    while (!rest.empty()) {
        const std::size_t end = rest.find('\0');
        const std::string_view argument = rest.substr(0, end);
        arguments.append(
            QString::fromLocal8Bit(argument.data(), static_cast<qsizetype>(argument.size())));
        if (end == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(end + 1);
    }
    return arguments;
}

std::vector<pid_t> ProcessInfo::listPids() {
    std::vector<pid_t> pids;
    DIR* dir = ::opendir("/proc");
    if (dir == nullptr) {
        return pids;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (const auto pid = parsePid(entry->d_name)) {
            pids.push_back(*pid);
        }
    }
    ::closedir(dir);
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::unordered_map<pid_t, ProcStat> ProcessInfo::statAll() {
    std::unordered_map<pid_t, ProcStat> result;
    const int procFd = openRetrying(AT_FDCWD, "/proc");
    if (procFd < 0) {
        return result;
    }
    std::array<char, 1024> buffer{};
    for (const pid_t pid : listPids()) {
        const auto stat = statAt(procFd, pid, buffer.data(), buffer.size());
        if (stat && !stat->hasEnded()) {
            result.emplace(pid, *stat);
        }
    }
    ::close(procFd);
    return result;
}

std::optional<pid_t> ProcessInfo::parsePid(std::string_view text) {
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    pid_t pid = 0;
    if (!parseWhole(text, pid) || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

long ProcessInfo::clockTicksPerSecond() {
    static const long ticks = [] {
        const long value = ::sysconf(_SC_CLK_TCK);
        return value > 0 ? value : 100;
    }();
    return ticks;
}

std::uint64_t ProcessInfo::ticksSinceBoot() {
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        return 0;
    }
    const auto nanoseconds = static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000U +
                             static_cast<std::uint64_t>(now.tv_nsec);
    return nanoseconds / (1'000'000'000U / static_cast<std::uint64_t>(clockTicksPerSecond()));
}

}  // namespace klosia
