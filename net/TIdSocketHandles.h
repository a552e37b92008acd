#pragma once

#include "net/TIdSocketHandle.h"

#include <memory>
#include <vector>

namespace vocalyn::net {

// The ordered bindings of a listening endpoint. Each binding keeps its
// address for the life of the list, so handlers may hold on to one.
class TIdSocketHandles {
public:
    TIdSocketHandle& Add() { return *items_.emplace_back(std::make_unique<TIdSocketHandle>()); }
    int Count() const { return static_cast<int>(items_.size()); }
    TIdSocketHandle& operator[](int index) const { return *items_.at(static_cast<size_t>(index)); }

private:
    std::vector<std::unique_ptr<TIdSocketHandle>> items_;
};

} // namespace vocalyn::net
