#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "library/mdx_index.h"

namespace melodrift {
namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

TEST(MdxNumericKey, EncodesTheWorkedExamplesAndFieldForms) {
  struct Case {
    const char* text;
    const char* hex;
  };
  const Case cases[] = {
      {"0", "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"5", "35 05 50 00 00 00 00 00 00 00 00 00"},
      {"255", "37 0D 25 50 00 00 00 00 00 00 00 00"},
      {"12345", "39 15 12 34 50 00 00 00 00 00 00 00"},
      {"-42", "36 89 42 00 00 00 00 00 00 00 00 00"},
      {"20.5", "36 0D 20 50 00 00 00 00 00 00 00 00"},
      {"100", "37 0D 10 00 00 00 00 00 00 00 00 00"},
      {"-0.75", "34 89 75 00 00 00 00 00 00 00 00 00"},
      {"0.05", "33 05 50 00 00 00 00 00 00 00 00 00"},
      // As N fields store them: right-aligned, blank, overflowed, zero-padded, signed zero.
      {"        42", "36 09 42 00 00 00 00 00 00 00 00 00"},
      {"          ", "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"**********", "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"", "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"0007", "35 05 70 00 00 00 00 00 00 00 00 00"},
      {"-0", "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"  4294967295", "3E 29 42 94 96 72 95 00 00 00 00 00"},
      // Beyond 20 digits the rest is dropped; the exponent still counts them.
      {"1234567890123456789012", "4A 51 12 34 56 78 90 12 34 56 78 90"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(EncodeNumericKey(c.text)), c.hex) << c.text;
}

TEST(MdxNumericKey, ComparesByValue) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  };
  const Case cases[] = {
      {"5", "5", 0},
      {"5", "6", -1},
      {"99", "100", -1},
      {"100", "99", 1},
      {"-1", "0", -1},
      {"0", "0.05", -1},
      {"-100", "-99", -1},
      {"-0.75", "-0.5", -1},
      {"20.5", "20", 1},
      {"-42", "5", -1},
      {"255", "256", -1},
      {"4999", "5000", -1},
      {"1000000", "999999", 1},
  };
  for (const Case& c : cases) {
    std::string a = EncodeNumericKey(c.a), b = EncodeNumericKey(c.b);
    EXPECT_EQ(CompareNumericKeys(Bytes(a), Bytes(b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareNumericKeys(Bytes(b), Bytes(a)), -c.expected) << c.b << " vs " << c.a;
  }
}

TEST(MdxNumericKey, ForeignFormsCompareByTheirValue) {
  // Other writers: 100 with one digit, 5 with a leading zero digit, zero as 35 10.
  const std::string hundred_one_digit("\x37\x05\x10\0\0\0\0\0\0\0\0\0", 12);
  const std::string five_leading_zero("\x36\x09\x05\0\0\0\0\0\0\0\0\0", 12);
  const std::string zero_other("\x35\x10\0\0\0\0\0\0\0\0\0\0", 12);
  EXPECT_EQ(CompareNumericKeys(Bytes(hundred_one_digit), Bytes(EncodeNumericKey("100"))), 0);
  EXPECT_EQ(CompareNumericKeys(Bytes(five_leading_zero), Bytes(EncodeNumericKey("5"))), 0);
  EXPECT_EQ(CompareNumericKeys(Bytes(five_leading_zero), Bytes(EncodeNumericKey("6"))), -1);
  EXPECT_EQ(CompareNumericKeys(Bytes(zero_other), Bytes(EncodeNumericKey("0"))), 0);
  EXPECT_EQ(CompareNumericKeys(Bytes(zero_other), Bytes(EncodeNumericKey("-1"))), 1);
}

}  // namespace
}  // namespace melodrift
