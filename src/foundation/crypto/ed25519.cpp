#include "foundation/crypto/ed25519.h"

#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "foundation/crypto/sha512.h"

namespace qv::setup {
namespace {

// ---------------------------------------------------------------------------
// Field GF(p), p = 2^255 - 19.
//
// An element is 16 signed limbs of 16 bits each, value = sum limb[i] * 2^(16 i).
// Limbs may run outside 0..65535 between operations (sums, differences,
// negation); products fold the high half back with 2^256 = 38 (mod p) and two
// carry passes bring every limb back near 16 bits, so no intermediate comes
// close to overflowing 64 bits. Only Encode produces the unique reduced form.

using Field = std::array<std::int64_t, 16>;
using Bytes32 = std::array<std::uint8_t, 32>;

constexpr std::int64_t kLimbBase = 65536;

// One pass of carry propagation; the carry out of the top limb re-enters at
// the bottom multiplied by 38.
void Carry(Field& a) {
  for (int i = 0; i < 16; ++i) {
    std::int64_t carry = a[i] >> 16;  // floor division, also for negative limbs
    a[i] -= carry * kLimbBase;
    if (i < 15) {
      a[i + 1] += carry;
    } else {
      a[0] += 38 * carry;
    }
  }
}

Field FieldFromInt(std::int64_t value) {
  Field r{};
  r[0] = value;
  Carry(r);
  return r;
}

Field Add(const Field& a, const Field& b) {
  Field r;
  for (int i = 0; i < 16; ++i) r[i] = a[i] + b[i];
  return r;
}

Field Sub(const Field& a, const Field& b) {
  Field r;
  for (int i = 0; i < 16; ++i) r[i] = a[i] - b[i];
  return r;
}

Field Mul(const Field& a, const Field& b) {
  std::int64_t wide[31] = {};
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) wide[i + j] += a[i] * b[j];
  }
  Field r;
  for (int i = 0; i < 15; ++i) r[i] = wide[i] + 38 * wide[i + 16];
  r[15] = wide[15];
  Carry(r);
  Carry(r);
  return r;
}

Field Square(const Field& a) { return Mul(a, a); }

// Swaps a and b when bit is 1, by masking, without a branch on the bit.
void ConditionalSwap(Field& a, Field& b, std::int64_t bit) {
  const std::int64_t mask = -bit;
  for (int i = 0; i < 16; ++i) {
    std::int64_t t = mask & (a[i] ^ b[i]);
    a[i] ^= t;
    b[i] ^= t;
  }
}

// The unique little-endian encoding of a mod p, 0 <= value < p.
Bytes32 Encode(Field a) {
  // After three passes every limb is in 0..65535, so the value is below
  // 2^256 < 2p + 38; two conditional subtractions of p reduce it fully.
  Carry(a);
  Carry(a);
  Carry(a);
  for (int round = 0; round < 2; ++round) {
    Field m;
    std::int64_t borrow = 0;
    for (int i = 0; i < 16; ++i) {
      const std::int64_t p_limb = i == 0 ? 0xFFED : i == 15 ? 0x7FFF : 0xFFFF;
      m[i] = a[i] - p_limb - borrow;
      borrow = (m[i] >> 16) & 1;
      m[i] &= 0xFFFF;
    }
    // No borrow out of the top limb: a >= p, keep a - p.
    ConditionalSwap(a, m, 1 - borrow);
  }
  Bytes32 out;
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(a[i] & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>((a[i] >> 8) & 0xFF);
  }
  return out;
}

// The low 255 bits of 32 little-endian bytes; values of p or more are kept
// as they are and act modulo p.
Field DecodeLow255(const std::uint8_t* bytes) {
  Field r;
  for (int i = 0; i < 16; ++i) r[i] = bytes[2 * i] | (std::int64_t{bytes[2 * i + 1]} << 8);
  r[15] &= 0x7FFF;
  return r;
}

bool Equal(const Field& a, const Field& b) { return Encode(a) == Encode(b); }

int Parity(const Field& a) { return Encode(a)[0] & 1; }

// base^exponent for a public exponent (little-endian bytes): square and multiply.
Field Power(const Field& base, const Bytes32& exponent) {
  Field r = FieldFromInt(1);
  for (int bit = 255; bit >= 0; --bit) {
    r = Square(r);
    if ((exponent[bit / 8] >> (bit % 8)) & 1) r = Mul(r, base);
  }
  return r;
}

// 2^255 - 19 - k as little-endian bytes, then divided by 2^shift: the
// exponents p - 2, (p - 5) / 8 and (p - 1) / 4 (all exact divisions).
Bytes32 ExponentOfPrime(int minus, int shift) {
  Bytes32 e;
  e.fill(0xFF);
  e[31] = 0x7F;
  e[0] = static_cast<std::uint8_t>(0xED - minus);  // p ends in 0xED; minus <= 13 borrows nothing
  for (int s = 0; s < shift; ++s) {
    for (int i = 0; i < 32; ++i) {
      e[i] = static_cast<std::uint8_t>((e[i] >> 1) | (i < 31 ? (e[i + 1] & 1) << 7 : 0));
    }
  }
  return e;
}

Field Invert(const Field& a) {
  static const Bytes32 kPMinus2 = ExponentOfPrime(2, 0);
  return Power(a, kPMinus2);  // Fermat: a^(p-2) = 1/a
}

// ---------------------------------------------------------------------------
// Points of the twisted Edwards curve -x^2 + y^2 = 1 + d x^2 y^2 in extended
// coordinates: x = X/Z, y = Y/Z, x*y = T/Z.

struct Point {
  Field x, y, z, t;
};

struct CurveConstants {
  Field d;
  Field d2;
  Field sqrt_minus_one;
  Point base;
};

const CurveConstants& Curve();

Point Identity() { return Point{FieldFromInt(0), FieldFromInt(1), FieldFromInt(1), FieldFromInt(0)}; }

// The unified addition of RFC 8032 5.1.4; complete on this curve, so it also
// doubles and accepts the identity.
Point AddPoints(const Point& p, const Point& q) {
  const CurveConstants& curve = Curve();
  Field a = Mul(Sub(p.y, p.x), Sub(q.y, q.x));
  Field b = Mul(Add(p.y, p.x), Add(q.y, q.x));
  Field c = Mul(Mul(p.t, curve.d2), q.t);
  Field d = Mul(Add(p.z, p.z), q.z);
  Field e = Sub(b, a);
  Field f = Sub(d, c);
  Field g = Add(d, c);
  Field h = Add(b, a);
  return Point{Mul(e, f), Mul(g, h), Mul(f, g), Mul(e, h)};
}

void ConditionalSwap(Point& p, Point& q, std::int64_t bit) {
  ConditionalSwap(p.x, q.x, bit);
  ConditionalSwap(p.y, q.y, bit);
  ConditionalSwap(p.z, q.z, bit);
  ConditionalSwap(p.t, q.t, bit);
}

// [scalar]P by a ladder over all 256 bits, most significant first. The pair
// (r0, r1) keeps r1 = r0 + P; the bit only decides, by a masked swap, which of
// the two is doubled.
Point ScalarMultiply(const Point& point, const std::uint8_t scalar[32]) {
  Point r0 = Identity();
  Point r1 = point;
  for (int bit = 255; bit >= 0; --bit) {
    const std::int64_t b = (scalar[bit / 8] >> (bit % 8)) & 1;
    ConditionalSwap(r0, r1, b);
    r1 = AddPoints(r1, r0);
    r0 = AddPoints(r0, r0);
    ConditionalSwap(r0, r1, b);
  }
  return r0;
}

// RFC 8032 encoding: y reduced, the parity of x in the top bit.
Bytes32 EncodePoint(const Point& p) {
  Field inverse_z = Invert(p.z);
  Bytes32 out = Encode(Mul(p.y, inverse_z));
  out[31] ^= static_cast<std::uint8_t>(Parity(Mul(p.x, inverse_z)) << 7);
  return out;
}

// x from y and its sign bit: x = u v^3 (u v^7)^((p-5)/8) with u = y^2 - 1,
// v = d y^2 + 1, times sqrt(-1) when that squares to -u/v instead of u/v.
// negate_when_sign_matches turns the result into -P (the point the verifier
// needs) by choosing the x whose parity differs from the sign bit.
std::optional<Point> RecoverPoint(const Field& y, int sign, bool negate_when_sign_matches, const Field& d,
                                  const Field& sqrt_minus_one) {
  static const Bytes32 kRootExponent = ExponentOfPrime(5, 3);
  const Field one = FieldFromInt(1);
  const Field y2 = Square(y);
  const Field u = Sub(y2, one);
  const Field v = Add(Mul(d, y2), one);
  const Field v3 = Mul(Square(v), v);
  const Field v7 = Mul(Square(v3), v);
  Field x = Mul(Mul(u, v3), Power(Mul(u, v7), kRootExponent));
  if (!Equal(Mul(v, Square(x)), u)) {
    x = Mul(x, sqrt_minus_one);
    if (!Equal(Mul(v, Square(x)), u)) return std::nullopt;
  }
  // An x of 0 with the sign bit set is accepted as it stands.
  if ((Parity(x) == sign) == negate_when_sign_matches) x = Sub(FieldFromInt(0), x);
  return Point{x, y, one, Mul(x, y)};
}

CurveConstants MakeCurveConstants() {
  static const Bytes32 kQuarterExponent = ExponentOfPrime(1, 2);
  CurveConstants c;
  // d = -121665 / 121666, sqrt(-1) = 2^((p-1)/4), B = the point with y = 4/5
  // and even x.
  c.d = Mul(FieldFromInt(-121665), Invert(FieldFromInt(121666)));
  c.d2 = Add(c.d, c.d);
  c.sqrt_minus_one = Power(FieldFromInt(2), kQuarterExponent);
  Field y = Mul(FieldFromInt(4), Invert(FieldFromInt(5)));
  c.base = *RecoverPoint(y, 0, false, c.d, c.sqrt_minus_one);
  return c;
}

const CurveConstants& Curve() {
  static const CurveConstants constants = MakeCurveConstants();
  return constants;
}

// ---------------------------------------------------------------------------
// Scalars modulo L = 2^252 + 27742317777372353535851937790883648493.

constexpr std::uint8_t kOrder[32] = {
    0xED, 0xD3, 0xF5, 0x5C, 0x1A, 0x63, 0x12, 0x58, 0xD6, 0x9C, 0xF7, 0xA2, 0xDE, 0xF9, 0xDE, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10,
};

// S < L, comparing from the most significant byte down.
bool IsBelowOrder(const std::uint8_t* s) {
  for (int i = 31; i >= 0; --i) {
    if (s[i] != kOrder[i]) return s[i] < kOrder[i];
  }
  return false;  // S = L
}

// A 512-bit little-endian number modulo L, by binary long division. The
// digest is public, so the data-dependent subtraction leaks nothing.
Bytes32 ReduceModOrder(const std::uint8_t wide[64]) {
  std::uint64_t order[4] = {};
  for (int i = 0; i < 32; ++i) order[i / 8] |= std::uint64_t{kOrder[i]} << (8 * (i % 8));
  std::uint64_t r[4] = {};  // always below L < 2^253, so shifting never overflows
  for (int bit = 511; bit >= 0; --bit) {
    for (int w = 3; w > 0; --w) r[w] = (r[w] << 1) | (r[w - 1] >> 63);
    r[0] = (r[0] << 1) | ((wide[bit / 8] >> (bit % 8)) & 1);
    bool at_least_order = true;
    for (int w = 3; w >= 0; --w) {
      if (r[w] != order[w]) {
        at_least_order = r[w] > order[w];
        break;
      }
    }
    if (at_least_order) {
      std::uint64_t borrow = 0;
      for (int w = 0; w < 4; ++w) {
        std::uint64_t difference = r[w] - order[w] - borrow;
        borrow = (r[w] < order[w] || (r[w] == order[w] && borrow)) ? 1 : 0;
        r[w] = difference;
      }
    }
  }
  Bytes32 out;
  for (int i = 0; i < 32; ++i) out[i] = static_cast<std::uint8_t>(r[i / 8] >> (8 * (i % 8)));
  return out;
}

}  // namespace

bool Ed25519Verify(const std::uint8_t signature[64], const std::uint8_t* message, std::uint64_t length,
                   const std::uint8_t public_key[32]) {
  const std::uint8_t* r_encoded = signature;
  const std::uint8_t* s = signature + 32;
  if (!IsBelowOrder(s)) return false;  // no malleable second form of a signature

  const CurveConstants& curve = Curve();
  std::optional<Point> minus_a = RecoverPoint(DecodeLow255(public_key), public_key[31] >> 7, true, curve.d,
                                              curve.sqrt_minus_one);
  if (!minus_a) return false;

  // k = SHA-512(R || A || M) mod L over one copy of the message.
  if (length > std::numeric_limits<std::size_t>::max() - 64) throw std::bad_alloc();
  std::vector<std::uint8_t> hashed(static_cast<std::size_t>(64 + length));
  std::memcpy(hashed.data(), r_encoded, 32);
  std::memcpy(hashed.data() + 32, public_key, 32);
  if (length) std::memcpy(hashed.data() + 64, message, static_cast<std::size_t>(length));
  std::uint8_t digest[64];
  Sha512(hashed.data(), hashed.size(), digest);
  const Bytes32 k = ReduceModOrder(digest);

  // [S]B - [k]A must encode exactly as R; every byte is looked at.
  const Point check = AddPoints(ScalarMultiply(*minus_a, k.data()), ScalarMultiply(curve.base, s));
  const Bytes32 encoded = EncodePoint(check);
  std::uint8_t difference = 0;
  for (int i = 0; i < 32; ++i) difference |= static_cast<std::uint8_t>(encoded[i] ^ r_encoded[i]);
  return difference == 0;
}

}  // namespace qv::setup
