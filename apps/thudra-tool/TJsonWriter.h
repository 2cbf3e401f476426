// A small JSON writer: objects, arrays, strings, numbers and booleans on one line.
// Strings are bytes: valid UTF-8 passes unchanged, quotes, backslashes and control
// characters are escaped, and bytes that are not UTF-8 are written as the Latin-1
// characters of the same value (\u00XX), so the output is always valid JSON.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TJsonWriter {
public:
  TJsonWriter& BeginObject();
  TJsonWriter& EndObject();
  TJsonWriter& BeginArray();
  TJsonWriter& EndArray();
  TJsonWriter& Key(std::string_view key);
  TJsonWriter& String(std::string_view value);
  TJsonWriter& Int(int64_t value);
  // Non-finite numbers are written as null.
  TJsonWriter& Number(double value);
  TJsonWriter& Bool(bool value);

  const std::string& Text() const { return text; }
  static std::string Quote(std::string_view value);

private:
  void BeforeValue();

  std::string text;
  // One entry per open object or array: whether it has a member yet.
  std::vector<bool> hasMember;
  bool afterKey = false;
};
