#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "foundation/IRegistry.h"
#include "foundation/ScriptedPresenter.h"
#include "foundation/TMemoryRegistry.h"

namespace {

const std::string productKeyPath = "Software\\Velmora\\Thudra";

class RegistryTest : public ::testing::Test {
protected:
  RegistryTest() : previous(SetRegistryBackend(&memory)) {}
  ~RegistryTest() override { SetRegistryBackend(previous); }

  TMemoryRegistry::TValues& Values() { return memory.Values(productKeyPath); }
  void Put(const std::string& name, uint32_t kind, const std::string& data) { Values()[name] = {kind, data}; }
  static std::string DwordData(uint32_t value) {
    std::string data(4, '\0');
    std::memcpy(data.data(), &value, 4);
    return data;
  }

  TMemoryRegistry memory;
  TScriptedPresenter presenter;
  IRegistryBackend* previous;
};

TEST_F(RegistryTest, AFirstStartCreatesTheKeyAndEveryGetterAnswersItsDefault) {
  EXPECT_FALSE(memory.HasKey(productKeyPath));
  IRegistry::Open("Thudra");
  EXPECT_TRUE(memory.HasKey(productKeyPath));
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 3), 3u);
  EXPECT_EQ(std::string(IRegistry::GetString("Kit", "default kit")), "default kit");
  EXPECT_EQ(IRegistry::GetPoint("Pos", {7, 8}), (TPnt{7, 8}));
  EXPECT_EQ(IRegistry::GetArea("Wnd", {1, 2, 3, 4}), (TArea{1, 2, 3, 4}));
  EXPECT_FLOAT_EQ(static_cast<float>(IRegistry::GetRealText("Tempo", 120.0)), 120.0f);
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(RegistryTest, SettersWriteWhatGettersRead) {
  IRegistry::Open("Thudra");
  IRegistry::SetDword("AudioPort", 8);
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 0), 8u);
  EXPECT_EQ(Values().at("AudioPort").kind, RegistryDword);
  IRegistry::SetString("Kit", "Rock");
  EXPECT_EQ(std::string(IRegistry::GetString("Kit", "")), "Rock");
  EXPECT_EQ(Values().at("Kit").kind, RegistryString);
  EXPECT_EQ(Values().at("Kit").data, std::string("Rock\0", 5));  // characters and the zero

  IRegistry::SetString("AudioPort", "now a string");  // a setter replaces the kind too
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 99), 99u);
  IRegistry::DeleteValue("Kit");
  IRegistry::DeleteValue("NeverWritten");
  EXPECT_EQ(std::string(IRegistry::GetString("Kit", "gone")), "gone");
}

TEST_F(RegistryTest, PointsAndAreasUseSuffixedNames) {
  IRegistry::Open("Thudra");
  IRegistry::SetPoint("Pos", {-10, 20});
  IRegistry::SetArea("Wnd", {1, 2, 3, 4});
  EXPECT_EQ(Values().at("PosX").data, DwordData(static_cast<uint32_t>(-10)));
  EXPECT_EQ(Values().at("PosY").data, DwordData(20));
  EXPECT_EQ(Values().at("WndX0").data, DwordData(1));
  EXPECT_EQ(Values().at("WndY0").data, DwordData(2));
  EXPECT_EQ(Values().at("WndX1").data, DwordData(3));
  EXPECT_EQ(Values().at("WndY1").data, DwordData(4));
  EXPECT_EQ(Values().size(), 6u);
  EXPECT_EQ(IRegistry::GetPoint("Pos", {}), (TPnt{-10, 20}));
  EXPECT_EQ(IRegistry::GetArea("Wnd", {}), (TArea{1, 2, 3, 4}));

  Put("HalfX", RegistryDword, DwordData(5));
  EXPECT_EQ(IRegistry::GetPoint("Half", {100, 200}), (TPnt{5, 200}));
  Put("PartX1", RegistryDword, DwordData(9));
  EXPECT_EQ(IRegistry::GetArea("Part", {1, 2, 3, 4}), (TArea{1, 2, 9, 4}));
}

TEST_F(RegistryTest, AValueOfTheOtherKindIsNotRead) {
  IRegistry::Open("Thudra");
  Put("Short", RegistryString, std::string("abc\0", 4));  // four bytes, but a string
  Put("Number", RegistryDword, DwordData(0x41414141));
  Put("Odd", RegistryDword, std::string("\1\2", 2));
  EXPECT_EQ(IRegistry::GetDword("Short", 7), 7u);
  EXPECT_EQ(std::string(IRegistry::GetString("Number", "text")), "text");
  EXPECT_EQ(IRegistry::GetDword("Odd", 7), 7u);
}

TEST_F(RegistryTest, StringsLongerThanTheBufferAreNotRead) {
  IRegistry::Open("Thudra");
  const std::string longest(1024, 'a');  // with its zero exactly 1025 bytes
  IRegistry::SetString("Longest", TStr(longest));
  EXPECT_EQ(std::string(IRegistry::GetString("Longest", "default")), longest);
  IRegistry::SetString("TooLong", TStr(std::string(1025, 'b')));
  EXPECT_EQ(std::string(IRegistry::GetString("TooLong", "default")), "default");

  Put("NoZero", RegistryString, "abc");
  EXPECT_EQ(std::string(IRegistry::GetString("NoZero", "")), "abc");
  Put("Inner", RegistryString, std::string("ab\0cd\0", 6));
  EXPECT_EQ(std::string(IRegistry::GetString("Inner", "")), "ab");
}

TEST_F(RegistryTest, RealsAsTextUseTheShortFormat) {
  IRegistry::Open("Thudra");
  IRegistry::SetRealText("Tempo", 0.5);
  EXPECT_EQ(std::string(IRegistry::GetString("Tempo", "")), "0.5");
  EXPECT_DOUBLE_EQ(IRegistry::GetRealText("Tempo", 1.0), 0.5);
  IRegistry::SetRealText("Big", 123456.0);
  EXPECT_EQ(std::string(IRegistry::GetString("Big", "")), ">>");
  EXPECT_DOUBLE_EQ(IRegistry::GetRealText("Big", 2.0), 2.0);  // ">>" is no number
  // A missing value reads the default as its short text would be.
  EXPECT_FLOAT_EQ(static_cast<float>(IRegistry::GetRealText("Missing", 3.14159)), 3.142f);
}

TEST_F(RegistryTest, EmptyNamesAreShownWithTheGettersCaptionAndGiveTheDefault) {
  IRegistry::Open("Thudra");
  IRegistry::SetDword("X", 1);  // so that GetPoint("") would find "X" if it looked
  Put("X0", RegistryDword, DwordData(1));
  struct TCase {
    const char* caption;
    std::function<bool()> answersDefault;
  };
  const TCase cases[] = {
      {"Ups", [] { return IRegistry::GetDword("", 42) == 42; }},
      {"Uups", [] { return IRegistry::GetString("", "dflt") == "dflt"; }},
      {"Uuups", [] { return IRegistry::GetPoint("", {5, 6}) == TPnt{1, 6}; }},
      {"Uuuups", [] { return IRegistry::GetArea("", {5, 6, 7, 8}) == TArea{1, 6, 7, 8}; }},
      {"Uups", [] { return IRegistry::GetRealText("", 0.25) == 0.25; }},
  };
  for (const TCase& c : cases) {
    presenter.shown.clear();
    EXPECT_TRUE(c.answersDefault()) << c.caption;
    ASSERT_EQ(presenter.shown.size(), 1u) << c.caption;
    EXPECT_EQ(std::string(presenter.shown[0].text), "Empty ValueName in IRegistry");
    EXPECT_EQ(std::string(presenter.shown[0].caption), c.caption);
    EXPECT_EQ(presenter.shown[0].flags, 0u);  // plain: no icon, no task-modal flag
  }
}

TEST_F(RegistryTest, AKeyThatDidNotOpenGivesDefaultsAndIgnoresSetters) {
  memory.RefuseOpen(true);
  IRegistry::Open("Thudra");
  IRegistry::SetDword("AudioPort", 8);
  IRegistry::SetString("Kit", "Rock");
  IRegistry::SetArea("Wnd", {1, 2, 3, 4});
  IRegistry::DeleteValue("Kit");
  EXPECT_TRUE(Values().empty());
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 3), 3u);
  EXPECT_EQ(std::string(IRegistry::GetString("Kit", "none")), "none");
  EXPECT_TRUE(presenter.shown.empty());

  SetRegistryBackend(nullptr);  // no store at all behaves the same
  IRegistry::Open("Thudra");
  IRegistry::SetDword("AudioPort", 8);
  EXPECT_EQ(IRegistry::GetDword("AudioPort", 3), 3u);
}

}  // namespace
