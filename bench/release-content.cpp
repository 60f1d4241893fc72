#include "release-content.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace qv::bench {
namespace {

// Reproducible bytes without the cost of a library generator.
struct XorShift {
  std::uint64_t state;
  std::uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
};

// Incompressible content, like packed textures or audio.
std::string Noise(std::size_t length, XorShift& random) {
  std::string out(length, '\0');
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    std::uint64_t value = random.Next();
    std::memcpy(&out[i], &value, 8);
  }
  for (; i < length; ++i) out[i] = static_cast<char>(random.Next());
  return out;
}

// Text that compresses well, like shader sources, licences and JSON.
std::string Text(std::size_t length, XorShift& random) {
  static const char* const kWords[] = {"float4", "uniform", "sampler", "return", "texture", "position", "normal",
                                       "{",      "}",       "=",       ";",      "0.5f",    "vec3",     "light",
                                       "shadow", "const",   "struct",  "if",     "for",     "color",    "\"name\":"};
  std::string out;
  out.reserve(length + 16);
  while (out.size() < length) {
    out += kWords[random.Next() % (sizeof(kWords) / sizeof(kWords[0]))];
    out += (random.Next() % 9 == 0) ? '\n' : ' ';
  }
  out.resize(length);
  return out;
}

// Program-like binary: runs of zeros, small numbers and random stretches.
std::string Binary(std::size_t length, XorShift& random) {
  std::string out;
  out.reserve(length + 256);
  while (out.size() < length) {
    std::uint64_t pick = random.Next();
    std::size_t run = 16 + (pick >> 8) % 240;
    switch (pick % 3) {
      case 0: out.append(run, '\0'); break;
      case 1:
        for (std::size_t i = 0; i < run; ++i) out += static_cast<char>(random.Next() % 16);
        break;
      default: out += Noise(run, random); break;
    }
  }
  out.resize(length);
  return out;
}

qv::setup::FixtureFiles MixedReleaseFilesFrom(std::uint64_t mib, int count) {
  XorShift random{0x9E3779B97F4A7C15ull};
  const std::uint64_t total = mib << 20;
  // One large incompressible file: its stream is longer than one 64 MiB input piece.
  const std::uint64_t large = std::min<std::uint64_t>(72ull << 20, total / 3);
  const int small_count = std::max(count - 1, 1);
  // The other sizes spread log-uniformly between 512 bytes and 4 MiB, scaled to the total.
  std::vector<double> weights(small_count);
  double sum = 0;
  for (auto& w : weights) {
    w = std::exp(std::log(512.0) + (random.Next() % 10000) / 10000.0 * (std::log(4194304.0) - std::log(512.0)));
    sum += w;
  }
  static const char* const kFolders[] = {"", "bin/", "shaders/vk/", "fonts/", "voices/", "licences/", "extractor/"};
  qv::setup::FixtureFiles files;
  files.emplace_back("voices/large-model.bin", Noise(large, random));
  for (int i = 0; i < small_count; ++i) {
    std::size_t size = static_cast<std::size_t>(weights[i] / sum * static_cast<double>(total - large));
    char name[64];
    std::snprintf(name, sizeof(name), "%sfile-%04d.dat", kFolders[random.Next() % 7], i);
    std::string content;
    switch (random.Next() % 3) {
      case 0: content = Noise(size, random); break;
      case 1: content = Text(size, random); break;
      default: content = Binary(size, random); break;
    }
    files.emplace_back(name, std::move(content));
  }
  return files;
}

std::uint64_t ReadLittleEndian(const unsigned char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace

qv::setup::FixtureFiles MixedReleaseFiles(std::uint64_t mib, int count) { return MixedReleaseFilesFrom(mib, count); }

std::string ProgramLikeBytes(std::size_t length, std::uint64_t seed) {
  XorShift random{seed | 1};
  return Binary(length, random);
}

std::vector<qv::update::FileEntry> PayloadStreams(const std::string& archive, std::uint64_t base) {
  const auto* data = reinterpret_cast<const unsigned char*>(archive.data());
  if (archive.size() < 12) throw std::runtime_error("not a payload archive");
  const std::uint32_t count = static_cast<std::uint32_t>(ReadLittleEndian(data + 8, 4));
  std::vector<qv::update::FileEntry> entries;
  std::uint64_t at = 12;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 2 > archive.size()) throw std::runtime_error("payload archive cut short");
    const std::uint64_t name_length = ReadLittleEndian(data + at, 2);
    const std::uint64_t fixed = at + 2 + name_length;
    if (fixed + 80 > archive.size()) throw std::runtime_error("payload archive cut short");
    qv::update::FileEntry entry;
    entry.path.assign(archive, at + 2, name_length);
    entry.size = ReadLittleEndian(data + fixed, 8);
    entry.packed = ReadLittleEndian(data + fixed + 8, 8);
    entry.sha256.assign(archive, fixed + 16, 64);
    entry.offset = base + fixed + 80;
    at = fixed + 80 + entry.packed;
    if (at > archive.size()) throw std::runtime_error("payload archive cut short");
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace qv::bench
