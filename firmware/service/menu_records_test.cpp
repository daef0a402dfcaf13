// The menu records built from entry tables at compile time, and the
// dispatch routine over a table.
#include "firmware/service/menu_records.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

int g_aRuns[3];
void RunFirst() { ++g_aRuns[0]; }
void RunSecond() { ++g_aRuns[1]; }
int32_t After() { return ++g_aRuns[2]; }

constexpr MenuEntry kEntries[] = {
    {"First item      ", Run(RunFirst)},
    {"Second item     ", Run(RunSecond, After)},
    {"Nothing         ", DoNothing()},
};
constexpr MenuRecord kMenu{kEntries, DispatchItem<kEntries>};

// The record is the engine's layout: no title, the items, the terminator;
// the title handler selects item 1 and every item runs the dispatch.
static_assert(kMenu.apszLabels[0] == nullptr);
static_assert(kMenu.apszLabels[4] == nullptr);
static_assert(kMenu.apfnHandlers[0] == SelectFirstMenuItem);
static_assert(kMenu.apfnHandlers[3] == DispatchItem<kEntries>);
static_assert(kMenu.ppszLabels == kMenu.apszLabels);

char g_acPage[17] = "Page  =         ";
constexpr MenuText kPageTexts[] = {WritableText(g_acPage)};
void NoHandler() {}
constexpr MenuRecord kPage{MenuText("Title           "), kPageTexts, NoHandler, NoHandler};
static_assert(kPage.apszLabels[1] == g_acPage);

TEST(MenuRecords, TextsAreTheTablesInItemOrder) {
  EXPECT_STREQ(kMenu.ppszLabels[1], "First item      ");
  EXPECT_STREQ(kMenu.ppszLabels[2], "Second item     ");
  EXPECT_STREQ(kMenu.ppszLabels[3], "Nothing         ");
  EXPECT_STREQ(kPage.ppszLabels[0], "Title           ");
  // A writable page text is shown as the firmware last wrote it.
  std::memcpy(g_acPage + 8, "42", 2);
  EXPECT_STREQ(kPage.ppszLabels[1], "Page  = 42      ");
}

TEST(MenuRecords, DispatchRunsTheSelectedEntryAndItsFollowUpOnly) {
  struct Case {
    uint32_t ulSelection;
    int aRuns[3];
  };
  const Case cases[] = {
      {1, {1, 0, 0}}, {2, {0, 1, 1}}, {3, {0, 0, 0}}, {0, {0, 0, 0}}, {4, {0, 0, 0}}, {0xFFFFFFFFu, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ulSelection);
    std::memset(g_aRuns, 0, sizeof g_aRuns);
    SetMenuSelection(c.ulSelection);
    kMenu.pHandlers[1]();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(g_aRuns[i], c.aRuns[i]) << i;
  }
}

}  // namespace
