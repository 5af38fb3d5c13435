#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel {
namespace {

using namespace std::string_literals;

std::string Set(std::string_view text, std::string_view section, std::string_view key,
                std::string_view value) {
  CProfileFile profile(text);
  profile.Set(section, key, value);
  return profile.Text();
}

TEST(ProfileFile, TextComesBackByteForByteWhenNothingIsSet) {
  const std::string samples[] = {
      "",
      "\n",
      "[A]\nk=1\n",
      "[A]\r\nk=1\r\n; comment\r\n\r\n",
      "[A]\nk=1",
      "garbage\n=novalue\n[unclosed\n  [ A ]  tail\n k = v \n#x=1\n",
      "mixed\r\nends\nhere\r\n",
      "nul\0inside=1\n[A\0]\nk\0=\0\n"s,
      "bad utf-8 \xff\xfe\xc3\x28=\x80\n[A]\n\xe2\x82=1\n",
      "\r\n\r",
      "lone\rcarriage=1\n",
  };
  for (const std::string& text : samples) {
    EXPECT_EQ(CProfileFile(text).Text(), text);
  }
}

struct GetCase {
  const char* name;
  std::string text;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

class ProfileFileGet : public testing::TestWithParam<GetCase> {};

TEST_P(ProfileFileGet, ReadsTheKeyAsDocumented) {
  const GetCase& c = GetParam();
  EXPECT_EQ(CProfileFile(c.text).Get(c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileFileGet,
    testing::Values(
        GetCase{"plain", "[A]\nk=1\n", "A", "k", "1"},
        GetCase{"section_case", "[cc mapping]\nA1VolCC=7\n", "CC Mapping", "A1VolCC", "7"},
        GetCase{"key_case", "[CC Mapping]\na1volcc=7\n", "CC Mapping", "A1VOLCC", "7"},
        GetCase{"blanks_trimmed", "  [ A ]  \n \t k \t=\t 5 \t\n", "A", "k", "5"},
        GetCase{"crlf", "[A]\r\nk=12\r\n", "A", "k", "12"},
        GetCase{"no_final_newline", "[A]\nk=12", "A", "k", "12"},
        GetCase{"empty_value", "[A]\nk=\n", "A", "k", ""},
        GetCase{"missing_key", "[A]\nj=1\n", "A", "k", std::nullopt},
        GetCase{"missing_section", "[B]\nk=1\n", "A", "k", std::nullopt},
        GetCase{"key_before_any_section", "k=1\n[A]\n", "A", "k", std::nullopt},
        GetCase{"key_of_other_section", "[A]\n[B]\nk=1\n", "A", "k", std::nullopt},
        GetCase{"first_duplicate_key", "[A]\nk=1\nk=2\n", "A", "k", "1"},
        GetCase{"first_duplicate_section", "[A]\nk=1\n[B]\n[a]\nk=2\n", "A", "k", "1"},
        GetCase{"later_duplicate_section_unread", "[A]\n[B]\n[A]\nk=2\n", "A", "k", std::nullopt},
        GetCase{"space_in_key", "[CC Mapping]\nNRPN Cut=3\nNRPN Res=4\n", "CC Mapping", "NRPN Res",
                "4"},
        GetCase{"value_with_equals", "[A]\nk=a=b\n", "A", "k", "a=b"},
        GetCase{"comment_not_a_key", "[A]\n;k=1\n#k=2\n", "A", "k", std::nullopt},
        GetCase{"non_ascii_not_folded", "[A]\n\xc3\x84=1\n", "A", "\xc3\xa4", std::nullopt},
        GetCase{"nul_in_value", "[A]\nk=1\0x\n"s, "A", "k", "1\0x"s},
        GetCase{"lone_cr_is_content", "[A]\nk=1\rj=2\n", "A", "j", std::nullopt},
        GetCase{"quotes_removed", "[A]\nk = \" x \" \n", "A", "k", " x "},
        GetCase{"one_quote_kept", "[A]\nk=\"x\n", "A", "k", "\"x"}),
    [](const testing::TestParamInfo<GetCase>& testInfo) {
      return std::string(testInfo.param.name);
    });

struct SetCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

class ProfileFileSet : public testing::TestWithParam<SetCase> {};

TEST_P(ProfileFileSet, ChangesOnlyWhatItMust) {
  const SetCase& c = GetParam();
  EXPECT_EQ(Set(c.before, c.section, c.key, c.value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileFileSet,
    testing::Values(
        SetCase{"empty_file", "", "A", "k", "1", "[A]\nk=1\n"},
        SetCase{"replace_in_place", "; head\n[A]\nk=1\nj=2\n", "A", "k", "7",
                "; head\n[A]\nk=7\nj=2\n"},
        SetCase{"replace_keeps_spelling_and_blanks", "[a]\n  K =  1  \n", "A", "k", "7",
                "[a]\n  K =  7\n"},
        SetCase{"replace_first_duplicate", "[A]\nk=1\nk=2\n[a]\nk=3\n", "A", "k", "7",
                "[A]\nk=7\nk=2\n[a]\nk=3\n"},
        SetCase{"add_after_last_key", "[A]\nk=1\n; note\n\n[B]\n", "A", "j", "2",
                "[A]\nk=1\nj=2\n; note\n\n[B]\n"},
        SetCase{"add_to_section_without_keys", "[A]\n; note\n[B]\n", "A", "j", "2",
                "[A]\nj=2\n; note\n[B]\n"},
        SetCase{"add_to_first_duplicate_section", "[A]\nk=1\n[A]\nj=5\n", "A", "j", "2",
                "[A]\nk=1\nj=2\n[A]\nj=5\n"},
        SetCase{"add_section_at_end", "[A]\nk=1\n", "B", "j", "2", "[A]\nk=1\n\n[B]\nj=2\n"},
        SetCase{"add_section_after_blank", "[A]\nk=1\n\n", "B", "j", "2", "[A]\nk=1\n\n[B]\nj=2\n"},
        SetCase{"add_key_without_final_newline", "[A]\nk=1", "A", "j", "2", "[A]\nk=1\nj=2\n"},
        SetCase{"add_section_without_final_newline", "junk", "A", "j", "2", "junk\n\n[A]\nj=2\n"},
        SetCase{"crlf_file_gets_crlf", "[A]\r\nk=1\r\n", "A", "j", "2", "[A]\r\nk=1\r\nj=2\r\n"},
        SetCase{"crlf_kept_on_replaced_line", "[A]\r\nk=1\r\n", "A", "k", "2", "[A]\r\nk=2\r\n"},
        SetCase{"empty_value", "[A]\nk=1\n", "A", "k", "", "[A]\nk=\n"},
        SetCase{"space_in_key", "", "CC Mapping", "NRPN Cut", "-1", "[CC Mapping]\nNRPN Cut=-1\n"},
        SetCase{"garbage_kept", "\xff\xfe\n[A]\nk=1\n\0\0\n"s, "A", "k", "2",
                "\xff\xfe\n[A]\nk=2\n\0\0\n"s}),
    [](const testing::TestParamInfo<SetCase>& testInfo) {
      return std::string(testInfo.param.name);
    });

TEST(ProfileFile, ReadsBackEveryValueItSets) {
  CProfileFile profile("[x]\ny=z\n");
  profile.Set("Program Options", "ActivePage", "3");
  profile.Set("CC Mapping", "A1VolCC", "7");
  profile.Set("cc mapping", "a1volcc", "8");
  profile.Set("CC Mapping", "NRPN Res", "-1");
  const CProfileFile reread(profile.Text());
  EXPECT_EQ(reread.Get("program options", "activepage"), "3");
  EXPECT_EQ(reread.Get("CC Mapping", "A1VolCC"), "8");
  EXPECT_EQ(reread.Get("CC Mapping", "NRPN Res"), "-1");
  EXPECT_EQ(reread.Get("x", "y"), "z");
}

TEST(ProfileFile, ValuesWithBlanksAtTheEndsOrInQuotesReadBackExactly) {
  for (const char* value : {" Synth", "Synth ", "\tA B\t", "\"x\"", "\"", "\"\"", " ", "a\"b"}) {
    SCOPED_TRACE(value);
    CProfileFile profile("[Midi Options]\nDefaultMidiInName=old\n");
    profile.Set("Midi Options", "DefaultMidiInName", value);
    profile.Set("Midi Options", "DefaultMidiOutName", value);
    const CProfileFile reread(profile.Text());
    EXPECT_EQ(reread.Get("Midi Options", "DefaultMidiInName"), value) << profile.Text();
    EXPECT_EQ(reread.Get("Midi Options", "DefaultMidiOutName"), value) << profile.Text();
  }
}

TEST(ProfileFile, KeepsAMultiMegabyteLineWhole) {
  const std::string longLine(5 * 1024 * 1024, 'x');
  const std::string text = "[A]\nk=1\n" + longLine + "\nlong=" + longLine + "\n";
  CProfileFile profile(text);
  EXPECT_EQ(profile.Get("A", "long"), longLine);
  profile.Set("A", "k", "2");
  EXPECT_EQ(profile.Text(), "[A]\nk=2\n" + longLine + "\nlong=" + longLine + "\n");
}

TEST(ProfileFile, RefusesNamesAndValuesThatWouldBreakTheLineStructure) {
  EXPECT_TRUE(CProfileFile::IsValidSectionName("CC Mapping"));
  EXPECT_TRUE(CProfileFile::IsValidKeyName("NRPN Cut"));
  EXPECT_TRUE(CProfileFile::IsValidValue("-1"));
  EXPECT_TRUE(CProfileFile::IsValidValue(""));
  for (const char* name : {"", " A", "A ", "A]", "A\nB", "A\rB"}) {
    EXPECT_FALSE(CProfileFile::IsValidSectionName(name)) << name;
  }
  for (const char* name : {"", " k", "k\t", "k=v", ";k", "#k", "[k", "k\n"}) {
    EXPECT_FALSE(CProfileFile::IsValidKeyName(name)) << name;
  }
  for (const char* value : {"1\n", "1\r", "\n[A]"}) {
    EXPECT_FALSE(CProfileFile::IsValidValue(value)) << value;
  }
}

TEST(ProfileFile, EntriesListEveryLineThatCarriesMeaningInOrderWithDuplicates) {
  const CProfileFile profile("early=1\n; note\n[A]\nk = v\r\n\n k=w \nwhat\n[b ] tail\nk=\n");
  using Kind = CProfileFile::Entry::Kind;
  const std::vector<CProfileFile::Entry> entries = profile.Entries();
  ASSERT_EQ(entries.size(), 7u);
  const struct {
    Kind kind;
    std::size_t line;
    const char* section;
    const char* key;
    const char* value;
  } expected[] = {
      {Kind::Key, 1, "", "early", "1"},       {Kind::Section, 3, "A", "", "A"},
      {Kind::Key, 4, "A", "k", "v"},          {Kind::Key, 6, "A", "k", "w"},
      {Kind::Unreadable, 7, "A", "", "what"}, {Kind::Section, 8, "b", "", "b"},
      {Kind::Key, 9, "b", "k", ""},
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(entries[i].kind, expected[i].kind);
    EXPECT_EQ(entries[i].line, expected[i].line);
    EXPECT_EQ(entries[i].section, expected[i].section);
    EXPECT_EQ(entries[i].key, expected[i].key);
    EXPECT_EQ(entries[i].value, expected[i].value);
  }
}

} // namespace
} // namespace vantrel
