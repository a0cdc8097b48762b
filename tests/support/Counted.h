// An element that counts its lifetime events, so that a container's lost, doubled or skipped construction
// or destruction shows in Live.
#pragma once

struct SCounted {
    static inline int Live = 0;
    SCounted() { ++Live; }
    SCounted(SCounted&& source) noexcept : Value(source.Value) { ++Live; }
    ~SCounted() { --Live; }
    int Value = -1;
};
