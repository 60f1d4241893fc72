// The toolchain itself: zlib, the wide file API with non-ASCII names, CNG.

#include <windows.h>
#include <bcrypt.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "foundation/win/unique-handle.h"

namespace {

std::wstring Widen(const std::string& utf8) {
  int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(n, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
  return utf8;
}

TEST(Toolchain, ZlibRoundTripOfMixedData) {
  std::mt19937 random(7);
  std::vector<unsigned char> original(300000);
  for (size_t i = 0; i < original.size(); ++i) {
    // Half compressible text, half noise.
    original[i] = (i / 4096) % 2 ? static_cast<unsigned char>(random()) : static_cast<unsigned char>('a' + i % 7);
  }
  uLongf packed_size = compressBound(original.size());
  std::vector<unsigned char> packed(packed_size);
  ASSERT_EQ(compress(packed.data(), &packed_size, original.data(), original.size()), Z_OK);
  EXPECT_LT(packed_size, original.size());

  std::vector<unsigned char> unpacked(original.size());
  z_stream stream{};
  ASSERT_EQ(inflateInit(&stream), Z_OK);
  stream.next_in = packed.data();
  stream.avail_in = static_cast<uInt>(packed_size);
  stream.next_out = unpacked.data();
  stream.avail_out = static_cast<uInt>(unpacked.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(stream.total_out, original.size());
  inflateEnd(&stream);
  EXPECT_EQ(unpacked, original);
}

TEST(Toolchain, NonAsciiFileNameThroughTheWideApi) {
  // Latin letters with accents, Japanese, and a character outside the BMP (a surrogate pair).
  const std::string name = "\xC3\x9Cn\xC3\xAF-\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0-\xF0\x9F\x92\xBE.txt";
  wchar_t temp[MAX_PATH + 1];
  ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
  std::wstring folder = std::wstring(temp) + L"qv-toolchain-" + std::to_wstring(::GetCurrentProcessId());
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  std::wstring file = folder + L"\\" + Widen(name);
  {
    qv::setup::UniqueFile handle(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(handle.valid()) << ::GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(handle.get(), "x", 1, &written, nullptr));
  }

  std::vector<std::string> listed;
  WIN32_FIND_DATAW data{};
  {
    qv::setup::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    ASSERT_TRUE(find.valid());
    do {
      std::wstring entry = data.cFileName;
      if (entry != L"." && entry != L"..") listed.push_back(Narrow(entry));
    } while (::FindNextFileW(find.get(), &data));
  }
  EXPECT_EQ(listed, std::vector<std::string>{name});

  EXPECT_TRUE(::DeleteFileW(file.c_str()));
  EXPECT_TRUE(::RemoveDirectoryW(folder.c_str()));
}

TEST(Toolchain, CngSha256OfAbc) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  ASSERT_EQ(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), 0);
  unsigned char digest[32] = {};
  const char text[] = "abc";
  ASSERT_EQ(::BCryptHash(algorithm, nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(text)), 3, digest, sizeof digest), 0);
  ::BCryptCloseAlgorithmProvider(algorithm, 0);
  std::string hex;
  for (unsigned char byte : digest) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
