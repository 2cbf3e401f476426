// Message template with the parameters $1 to $3.
#pragma once
#include "TStr.h"

class TParamStr {
public:
  TParamStr() = default;
  TParamStr(const char* templateText) : text(templateText) {}  // NOLINT: built from literals
  TParamStr(const TStr& templateText) : text(templateText) {}  // NOLINT

  // Index 1 to 3; any other index is ignored.
  void SetParam(int index, const TStr& value);
  // The value formatted by "%.7G".
  void SetParam(int index, double value);
  void ClearParams();

  TStr GetText() const;
  const TStr& GetTemplate() const { return text; }
  const TStr& GetParam(int index) const { return param[index - 1]; }

private:
  TStr text;
  TStr param[3];
};
