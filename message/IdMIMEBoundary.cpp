#include "message/IdMIMEBoundary.h"

#include <chrono>

void TIdMIMEBoundary::PushBoundary(const std::string& boundary, int32_t parentIndex) {
    boundaries_.Insert(0, boundary);
    parents_.Insert(0, std::to_string(parentIndex));
}

void TIdMIMEBoundary::PopBoundary() {
    if (boundaries_.Count() == 0) return;
    boundaries_.Delete(0);
    parents_.Delete(0);
}

std::string TIdMIMEBoundary::Boundary() const { return boundaries_.Count() == 0 ? std::string() : boundaries_[0]; }

int32_t TIdMIMEBoundary::ParentPart() const { return parents_.Count() == 0 ? -1 : std::stoi(parents_[0]); }

void TIdMIMEBoundary::Clear() {
    boundaries_.Clear();
    parents_.Clear();
}

namespace {

constexpr int kBoundaryLength = 34;

// The classic linear congruential generator: a draw in [0, 1).
double NextRandom(uint32_t& seed) {
    seed = seed * 134775813u + 1u;
    return static_cast<double>(seed) / 4294967296.0;
}

}  // namespace

char TIdMIMEBoundaryStrings::RandomBoundaryChar(uint32_t& seed) {
    const int x = static_cast<int>(61.0 * NextRandom(seed) + 1.5);  // 1 to 62
    int code = x + 47;
    if (code > 83)
        code = x + 60;
    else if (code > 57)
        code = x + 54;
    return static_cast<char>(code);
}

std::string TIdMIMEBoundaryStrings::GenerateBoundary(uint32_t& seed) {
    std::string boundary;
    for (int i = 0; i < kBoundaryLength; ++i) boundary += RandomBoundaryChar(seed);
    const int p = static_cast<int>(32.0 * NextRandom(seed) + 1.5);  // 1 to 33
    boundary[static_cast<size_t>(p - 1)] = '=';
    boundary[static_cast<size_t>(p)] = '_';
    return boundary;
}

TIdMIMEBoundaryStrings& TIdMIMEBoundaryStrings::Instance() {
    static TIdMIMEBoundaryStrings instance;
    return instance;
}

void TIdMIMEBoundaryStrings::SeedOnce() {
    if (seeded_) return;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    seed_ = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    seeded_ = true;
}

std::string TIdMIMEBoundaryStrings::NewBoundary() {
    std::lock_guard<std::mutex> guard(lock_);
    if (boundary_.empty()) {
        SeedOnce();
        boundary_ = GenerateBoundary(seed_);
    }
    return boundary_;
}

char TIdMIMEBoundaryStrings::NextBoundaryChar() {
    std::lock_guard<std::mutex> guard(lock_);
    SeedOnce();
    return RandomBoundaryChar(seed_);
}
