#include "TStr.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Messages.h"

char TStr::emptyText[1] = {0};

void TStr::Allocate(int32_t newSize) {
  char* buffer = newSize > 1 ? new (std::nothrow) char[newSize] : nullptr;
  if (newSize > 1 && !buffer) {
    // The string stays empty; nothing is written through a missing buffer.
    text = emptyText;
    size = 1;
    ShowOutOfMemory(EOutOfMemory::String);
    return;
  }
  text = buffer ? buffer : emptyText;
  size = buffer ? newSize : 1;
  if (buffer) text[size - 1] = 0;
}

// Only buffers of more than one byte are ever allocated. Deciding by the size rather
// than by the address of our own empty text keeps strings that cross a library
// boundary (the recorder's command records) safe: another library's empty text is
// never freed here.
void TStr::Free() {
  if (size > 1) delete[] text;
  text = emptyText;
  size = 1;
}

void TStr::SetFrom(const char* source, int32_t length) {
  Allocate(length + 1);
  if (size == length + 1 && length > 0) {
    std::memcpy(text, source, length);
    text[length] = 0;
  }
}

TStr::TStr() : text(emptyText), size(1) {}
TStr::TStr(const char* source) : text(emptyText), size(1) {
  if (source) SetFrom(source, static_cast<int32_t>(std::strlen(source)));
}
TStr::TStr(const char* source, int32_t length) : text(emptyText), size(1) {
  if (source && length > 0) SetFrom(source, length);
}
TStr::TStr(std::string_view source) : text(emptyText), size(1) {
  SetFrom(source.data(), static_cast<int32_t>(source.size()));
}
TStr::TStr(const TStr& other) : text(emptyText), size(1) { SetFrom(other.text, other.Length()); }
TStr::TStr(TStr&& other) noexcept : text(other.text), size(other.size) {
  other.text = emptyText;
  other.size = 1;
}
TStr::~TStr() { Free(); }

TStr& TStr::operator=(const TStr& other) {
  if (this != &other) {
    TStr copy(other);
    *this = std::move(copy);
  }
  return *this;
}
TStr& TStr::operator=(TStr&& other) noexcept {
  if (this != &other) {
    Free();
    text = other.text;
    size = other.size;
    other.text = emptyText;
    other.size = 1;
  }
  return *this;
}
TStr& TStr::operator=(const char* source) { return *this = TStr(source); }

TStr TStr::FromLengthPrefixed(const uint8_t* data) {
  return TStr(reinterpret_cast<const char*>(data + 1), data[0]);
}

TStr TStr::FromInt(int32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", value);
  return TStr(buffer);
}

TStr TStr::FromReal(double value, const char* format) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, value);
  return TStr(buffer);
}

TStr TStr::FormatReal(double value, int width) {
  const bool narrow = width == 4;
  const double limit = narrow ? 9999.9 : 99999.9;
  if (value > limit) return TStr(">>");
  if (value < -limit) return TStr("<<");
  // Thresholds from the smallest magnitude upwards, each with its format.
  static const double narrowBounds[] = {0.001, 0.01, 0.1, 1.0};
  static const double wideBounds[] = {0.0001, 0.001, 0.01, 0.1, 1.0};
  static const char* narrowFormats[] = {nullptr, "%3.1g", "%3.2g", "%3.3g", "%3.4g"};
  static const char* wideFormats[] = {nullptr, "%3.1g", "%3.2g", "%3.3g", "%3.4g", "%3.5g"};
  const double* bounds = narrow ? narrowBounds : wideBounds;
  const char** formats = narrow ? narrowFormats : wideFormats;
  const int rows = narrow ? 4 : 5;
  int row = 0;
  while (row < rows && !(-bounds[row] < value && value < bounds[row])) ++row;
  if (row == 0) return TStr("0");
  return FromReal(value, formats[row]);
}

TStr TStr::operator+(const TStr& other) const {
  TStr result;
  result.Allocate(Length() + other.Length() + 1);
  if (result.size != Length() + other.Length() + 1) return result;
  std::memcpy(result.text, text, Length());
  std::memcpy(result.text + Length(), other.text, other.Length());
  result.text[result.size - 1] = 0;
  return result;
}
TStr TStr::operator+(const char* other) const { return *this + TStr(other); }
TStr& TStr::operator+=(const TStr& other) { return *this = *this + other; }
TStr& TStr::operator+=(const char* other) { return *this = *this + TStr(other); }

TStr TStr::Mid(int32_t start, int32_t length) const {
  if (start < 0) start = 0;
  if (start >= Length() || length <= 0) return TStr();
  length = std::min(length, Length() - start);
  return TStr(text + start, length);
}

int32_t TStr::Find(const TStr& what, int32_t from) const {
  if (from < 0) from = 0;
  if (what.IsEmpty() || from > Length()) return -1;
  const auto position = std::string_view(*this).find(std::string_view(what), from);
  return position == std::string_view::npos ? -1 : static_cast<int32_t>(position);
}

TStr& TStr::ReplaceAll(const TStr& what, const TStr& with) {
  if (what.IsEmpty()) return *this;
  TStr result;
  int32_t from = 0;
  for (int32_t hit = Find(what); hit >= 0; hit = Find(what, from)) {
    result += Mid(from, hit - from) + with;
    from = hit + what.Length();
  }
  if (from == 0) return *this;
  result += Mid(from, Length() - from);
  return *this = std::move(result);
}

TStr& TStr::ToUpper() {
  for (int32_t i = 0; i < Length(); ++i) text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
  return *this;
}
TStr& TStr::ToLower() {
  for (int32_t i = 0; i < Length(); ++i) text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
  return *this;
}

TStr& TStr::PadEnd(int32_t minLength, char fill) {
  if (Length() >= minLength) return *this;
  TStr padding;
  padding.Allocate(minLength - Length() + 1);
  if (padding.size > 1) std::memset(padding.text, fill, padding.size - 1);
  return *this += padding;
}
TStr& TStr::PadFront(int32_t minLength, char fill) {
  if (Length() >= minLength) return *this;
  TStr padding;
  padding.Allocate(minLength - Length() + 1);
  if (padding.size > 1) std::memset(padding.text, fill, padding.size - 1);
  return *this = padding + *this;
}

TStr TStr::ParseUnsigned(uint32_t& value) const {
  char* end = text;
  value = static_cast<uint32_t>(std::strtoul(text, &end, 10));
  return TStr(end);
}
TStr TStr::ParseSigned(int32_t& value) const {
  char* end = text;
  value = static_cast<int32_t>(std::strtol(text, &end, 10));
  return TStr(end);
}
TStr TStr::ParseReal(double& value) const {
  int consumed = 0;
  float read = 0;
  if (std::sscanf(text, "%f%n", &read, &consumed) != 1) {
    value = 0;
    return *this;
  }
  value = read;
  return TStr(text + consumed);
}

int32_t TStr::ExportLengthPrefixed(uint8_t* buffer) const {
  const int32_t length = std::min<int32_t>(Length(), 255);
  buffer[0] = static_cast<uint8_t>(length);
  for (int32_t i = 0; i < length; ++i) buffer[1 + i] = text[i] == 10 ? 13 : static_cast<uint8_t>(text[i]);
  return length + 1;
}
