#pragma once
// A result file written in whole lines. Lines collect in memory and go to the file in
// one piece at flush; if the file cannot take them, it is cut back to the last complete
// line that was written and the run stops naming the file. A result file therefore never
// ends in a partial line.
#include <string>
#include <string_view>

namespace quilmar {

class LineFile {
public:
    LineFile() = default;
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    ~LineFile();

    // Creates or replaces the file; stops the run if that fails.
    void open(const std::string& path, const std::string& name);
    void write_line(std::string_view line) {
        buffer_.append(line);
        buffer_ += '\n';
        if (buffer_.size() >= kFlushAt) flush();
    }
    // Whole lines, each ending in '\n', taken as write_line would take them one by one (the
    // file is written at the same lines).
    void write_lines(std::string_view text) {
        if (buffer_.size() + text.size() < kFlushAt) {
            buffer_.append(text);
            return;
        }
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            if (end == std::string_view::npos) return write_line(text);
            write_line(text.substr(0, end));
            text.remove_prefix(end + 1);
        }
    }
    // Writes out what is collected; stops the run naming the file if the write fails.
    void flush();
    // Flushes and closes; stops the run naming the file on failure.
    void close();
    bool is_open() const { return fd_ >= 0; }
    const std::string& name() const { return name_; }

private:
    static constexpr std::size_t kFlushAt = 1 << 22;
    int fd_ = -1;
    std::string name_;
    std::string buffer_;
    long long committed_ = 0;  // bytes of complete lines in the file
};

}  // namespace quilmar
