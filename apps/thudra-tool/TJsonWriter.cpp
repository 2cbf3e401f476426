#include "TJsonWriter.h"

#include <cmath>
#include <cstdio>

namespace {
// Length of the valid UTF-8 sequence at text[i], or 0.
size_t Utf8Length(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  uint32_t minimum = 0;
  uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void AppendEscape(std::string& out, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", value);
  out += escape;
}
}  // namespace

std::string TJsonWriter::Quote(std::string_view value) {
  std::string out = "\"";
  for (size_t i = 0; i < value.size();) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c >= 0x80) {
      const size_t length = Utf8Length(value, i);
      if (length > 0) {
        out.append(value.substr(i, length));
        i += length;
      } else {
        AppendEscape(out, c);
        ++i;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) AppendEscape(out, c);
        else out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
  return out;
}

void TJsonWriter::BeforeValue() {
  if (afterKey) {
    afterKey = false;
    return;
  }
  if (!hasMember.empty()) {
    if (hasMember.back()) text += ',';
    hasMember.back() = true;
  }
}

TJsonWriter& TJsonWriter::BeginObject() {
  BeforeValue();
  text += '{';
  hasMember.push_back(false);
  return *this;
}

TJsonWriter& TJsonWriter::EndObject() {
  text += '}';
  if (!hasMember.empty()) hasMember.pop_back();
  return *this;
}

TJsonWriter& TJsonWriter::BeginArray() {
  BeforeValue();
  text += '[';
  hasMember.push_back(false);
  return *this;
}

TJsonWriter& TJsonWriter::EndArray() {
  text += ']';
  if (!hasMember.empty()) hasMember.pop_back();
  return *this;
}

TJsonWriter& TJsonWriter::Key(std::string_view key) {
  BeforeValue();
  text += Quote(key);
  text += ':';
  afterKey = true;
  return *this;
}

TJsonWriter& TJsonWriter::String(std::string_view value) {
  BeforeValue();
  text += Quote(value);
  return *this;
}

TJsonWriter& TJsonWriter::Int(int64_t value) {
  BeforeValue();
  text += std::to_string(value);
  return *this;
}

TJsonWriter& TJsonWriter::Number(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    text += "null";
    return *this;
  }
  char number[32];
  std::snprintf(number, sizeof number, "%.9g", value);
  text += number;
  return *this;
}

TJsonWriter& TJsonWriter::Bool(bool value) {
  BeforeValue();
  text += value ? "true" : "false";
  return *this;
}
