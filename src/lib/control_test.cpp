#include "lib/control.h"

#include <gtest/gtest.h>

#include <optional>

namespace corvane_manager_resident_lab {
namespace {

TEST(Control, AcceptedForms) {
  const AppendObservationRequest append{"op-1", "site/r1", "door", "open"};
  struct Case {
    std::string text;
    Control expected;
  };
  const std::vector<Case> cases = {
      {R"({"operation":"status"})", {StatusRequest{}}},
      {" \n{ \"operation\" : \"shutdown\" }\t", {ShutdownRequest{}}},
      {R"({"operation":"append_observation","operation_id":"op-1","scope":"site/r1",)"
       R"("subject":"door","value":"open"})",
       {append}},
      // The tag may stand anywhere, the other members in any order.
      {R"({"value":"open","subject":"door","operation":"append_observation",)"
       R"("scope":"site/r1","operation_id":"op-1"})",
       {append}},
      {R"(["status"])", {StatusRequest{}}},
      {R"(["shutdown"])", {ShutdownRequest{}}},
      {R"(["append_observation","op-1","site/r1","door","open"])", {append}},
  };
  for (const auto& c : cases) {
    auto parsed = Control::parse(c.text);
    ASSERT_TRUE(parsed) << c.text << ": " << parsed.error();
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

TEST(Control, RefusedForms) {
  const std::vector<std::string> cases = {
      R"({"operation":"status","extra":1})",
      R"({"operation":"status","operation_id":"x"})",
      R"({"operation":"Status"})",
      R"({"operation":"STATUS"})",
      R"({"operation":"restart"})",
      R"({"operation":7})",
      R"({"operation":"status","operation":"status"})",
      R"({})",
      R"({"Operation":"status"})",
      R"({"operation":"append_observation","operation_id":"op","scope":"s","subject":"d"})",
      R"({"operation":"append_observation","operation_id":"op","scope":"s","subject":"d",)"
      R"("value":"v","value":"v"})",
      R"({"operation":"append_observation","operation_id":1,"scope":"s","subject":"d","value":"v"})",
      R"({"operation":"append_observation","operation_id":"op","scope":"s","subject":"d",)"
      R"("value":null})",
      R"([])",
      R"(["status","extra"])",
      R"(["append_observation","op","s","d"])",
      R"(["append_observation","op","s","d","v","w"])",
      R"([7])",
      R"("status")",
      R"({"operation":"status"} {"operation":"status"})",
      R"({"operation":"status"}x)",
      "",
      "\xff",
  };
  for (const auto& text : cases) EXPECT_FALSE(Control::parse(text)) << text;
}

TEST(Control, WritesTheCanonicalObjectForm) {
  namespace json = corvane_manager_ha_lab::json;
  EXPECT_EQ(json::to_json(Control{StatusRequest{}}), R"({"operation":"status"})");
  EXPECT_EQ(json::to_json(Control{ShutdownRequest{}}), R"({"operation":"shutdown"})");
  const Control append{AppendObservationRequest{"op", "s", "d", "a \"quoted\"\nvalue"}};
  const std::string text = json::to_json(append);
  EXPECT_EQ(text,
            R"({"operation":"append_observation","operation_id":"op","scope":"s","subject":"d",)"
            R"("value":"a \"quoted\"\nvalue"})");
  EXPECT_EQ(Control::parse(text), append);
}

}  // namespace
}  // namespace corvane_manager_resident_lab
