#pragma once
// Console lines in the free-format style: a leading blank, items separated by one blank,
// two adjacent texts joined directly, reals in the shortest form that reads back exactly.
#include <string>
#include <string_view>

#include "text/shortest_real.hpp"

namespace quilmar {

class ConsoleLine {
public:
    ConsoleLine& text(std::string_view t) {
        if (last_ == Last::Value) line_ += ' ';
        line_ += t;
        last_ = Last::Text;
        return *this;
    }
    ConsoleLine& value(double v) { return item(shortest_real(v)); }
    ConsoleLine& value(int v) { return item(std::to_string(v)); }
    const std::string& str() const { return line_; }

private:
    enum class Last { None, Text, Value };
    ConsoleLine& item(const std::string& v) {
        if (last_ != Last::None) line_ += ' ';
        line_ += v;
        last_ = Last::Value;
        return *this;
    }
    std::string line_ = " ";
    Last last_ = Last::None;
};

}  // namespace quilmar
