#include "TParamStr.h"

#include <cstdio>

void TParamStr::SetParam(int index, const TStr& value) {
  if (index < 1 || index > 3) return;
  param[index - 1] = value;
}

void TParamStr::SetParam(int index, double value) { SetParam(index, TStr::FromReal(value, "%.7G")); }

void TParamStr::ClearParams() {
  for (TStr& p : param) p = TStr();
}

// Each key is replaced, first occurrence after first occurrence, but the search goes
// on behind the inserted text: a parameter that contains its own key ends the loop
// instead of growing the text without end.
TStr TParamStr::GetText() const {
  TStr result = text;
  for (int i = 1; i <= 3; ++i) {
    char keyText[8];
    std::snprintf(keyText, sizeof keyText, "$%d", i);
    const TStr key(keyText);
    const TStr& value = param[i - 1];
    for (int32_t hit = result.Find(key); hit >= 0; hit = result.Find(key, hit + value.Length())) {
      result = result.Mid(0, hit) + value + result.Mid(hit + key.Length(), result.Length());
    }
  }
  return result;
}
