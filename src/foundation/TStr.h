// Heap string of 8-bit characters; the buffer is always zero-terminated.
#pragma once
#include <cstdint>
#include <string_view>

class TStr {
public:
  TStr();
  TStr(const char* text);  // NOLINT: implicit, strings are built from literals everywhere
  TStr(const char* text, int32_t length);
  TStr(std::string_view text);
  TStr(const TStr& other);
  TStr(TStr&& other) noexcept;
  ~TStr();

  // From a length-prefixed string: one length byte, then the characters.
  static TStr FromLengthPrefixed(const uint8_t* data);
  static TStr FromInt(int32_t value);
  static TStr FromReal(double value, const char* format);
  // A real as a short text of about 4 or 5 characters for small displays.
  static TStr FormatReal(double value, int width);

  TStr& operator=(const TStr& other);
  TStr& operator=(TStr&& other) noexcept;
  TStr& operator=(const char* text);

  int32_t Length() const { return size - 1; }
  bool IsEmpty() const { return size <= 1; }
  const char* Text() const { return text; }
  operator std::string_view() const { return {text, static_cast<size_t>(size - 1)}; }
  char operator[](int32_t index) const { return text[index]; }

  TStr operator+(const TStr& other) const;
  TStr operator+(const char* other) const;
  TStr& operator+=(const TStr& other);
  TStr& operator+=(const char* other);
  bool operator==(const TStr& other) const { return std::string_view(*this) == std::string_view(other); }
  bool operator==(const char* other) const { return std::string_view(*this) == std::string_view(other); }
  bool operator<(const TStr& other) const { return std::string_view(*this) < std::string_view(other); }

  // Characters from start, at most length of them; clipped to the string.
  TStr Mid(int32_t start, int32_t length) const;
  // Index of the first occurrence of what, or -1.
  int32_t Find(const TStr& what, int32_t from = 0) const;
  // Replaces every occurrence; the search goes on behind each inserted text.
  TStr& ReplaceAll(const TStr& what, const TStr& with);
  TStr& ToUpper();
  TStr& ToLower();
  TStr& PadEnd(int32_t minLength, char fill);
  TStr& PadFront(int32_t minLength, char fill);

  // Number parsing: the result is the text behind the number.
  TStr ParseUnsigned(uint32_t& value) const;
  TStr ParseSigned(int32_t& value) const;
  TStr ParseReal(double& value) const;

  // Writes the length byte (at most 255) and the characters, line feeds as carriage
  // returns. The buffer must hold 256 bytes. Answers the number of bytes written.
  int32_t ExportLengthPrefixed(uint8_t* buffer) const;

private:
  static char emptyText[1];
  void Allocate(int32_t newSize);
  void Free();
  void SetFrom(const char* source, int32_t length);

  char* text;
  int32_t size;
};

inline TStr operator+(const char* left, const TStr& right) { return TStr(left) + right; }
