#include "surface/random.h"

#include <bit>

Generator::Generator(std::optional<std::uint32_t> PinnedSeed) : pinned_seed_(PinnedSeed) {
  if (pinned_seed_) engine_.seed(*pinned_seed_);
}

void Generator::Randomize(Single Seed) {
  engine_.seed(pinned_seed_.value_or(std::bit_cast<std::uint32_t>(Seed.Value())));
}

Single ScriptedRandom::Next() {
  if (next_ == numbers_.size()) throw RandomExhausted();
  return numbers_[next_++];
}
