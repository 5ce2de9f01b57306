#include "state/checked_array.hpp"

#include <string>

namespace quilmar {

void report_index_violation(const char* array, int dimension, long index, long bound, bool above) {
    std::string msg = "Index '" + std::to_string(index) + "' of dimension " + std::to_string(dimension) +
                      " of array '" + array + "' " + (above ? "above upper" : "below lower") +
                      " bound of " + std::to_string(bound);
    throw IndexError(msg);
}

}  // namespace quilmar
