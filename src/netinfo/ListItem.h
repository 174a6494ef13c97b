#pragma once

#include <QList>
#include <stdexcept>
#include <string>

namespace zarq {

// The i-th item of an inventory list. Throws std::out_of_range, as a list index error, for
// an index outside 0 to count-1.
template <typename T> const T& listItem(const QList<T>& list, int i) {
    if (i < 0 || i >= list.size())
        throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
    return list.at(i);
}

} // namespace zarq
