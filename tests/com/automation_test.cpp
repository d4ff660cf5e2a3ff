#include <gtest/gtest.h>

#include <vector>

#include "com/automation/object.h"
#include "base/failure.h"

namespace qf::automation {
namespace {

std::string failureOf(auto&& f) {
    try {
        f();
    } catch (const Failure& e) {
        return e.what();
    }
    return "(no failure)";
}

TEST(Variant, ConvertsAsLateBindingDoes) {
    EXPECT_EQ(Variant(true).toText(), "True");
    EXPECT_EQ(Variant(false).toText(), "False");
    EXPECT_EQ(Variant(std::int16_t{-3}).toText(), "-3");
    EXPECT_EQ(Variant(2.5).toText(), "2.5");
    EXPECT_EQ(Variant(100.0).toText(), "100");
    EXPECT_EQ(Variant().toText(), "");

    EXPECT_TRUE(Variant("true").toBool());
    EXPECT_FALSE(Variant("FALSE").toBool());
    EXPECT_TRUE(Variant("1").toBool());
    EXPECT_TRUE(Variant("-2.5").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_EQ(failureOf([] { Variant("yes").toBool(); }), "Type mismatch");
    EXPECT_EQ(failureOf([] { Variant("").toBool(); }), "Type mismatch");
    EXPECT_EQ(failureOf([] { Variant("12abc").toInt32(); }), "Type mismatch");
    EXPECT_EQ(Variant("42").toInt32(), 42);
    EXPECT_EQ(Variant(true).toInt32(), -1);
    EXPECT_EQ(failureOf([] { Variant(70000).toInt16(); }), "Overflow");
    EXPECT_EQ(Variant(2.5).toInt32(), 2);  // rounds half to even
    EXPECT_EQ(Variant(3.5).toInt32(), 4);
}

TEST(Variant, KeepsSixteenAndThirtyTwoBitIntegersApart) {
    EXPECT_EQ(Variant(std::int16_t{0}).type(), VarType::Int16);
    EXPECT_EQ(Variant(0).type(), VarType::Int32);
    EXPECT_EQ(Variant("x").type(), VarType::Text);
    EXPECT_EQ(Variant(true).type(), VarType::Bool);
    EXPECT_NE(Variant(std::int16_t{1}), Variant(1));
}

// A small object that records what reaches it.
class Recorder : public Dispatch {
public:
    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        std::string call = std::string(member.empty() ? "<default>" : member) + (kind == CallKind::Put ? " put" : "");
        for (const Arg& a : args) call += " " + (a.name.empty() ? "" : a.name + ":=") + a.value.toText();
        calls.push_back(call);
        return Variant("Recorder");
    }
    std::vector<std::string> calls;
};

TEST(Object, PassesMembersAndArgumentsOnAsGivenAndNothingFails) {
    auto rec = std::make_shared<Recorder>();
    Object o(rec);
    o.call("Add", {{"Connection", "URL;x"}, {"Destination", "A1"}});
    o.put("Visible", true);
    EXPECT_EQ(o.value().toText(), "Recorder");
    EXPECT_EQ(rec->calls,
              (std::vector<std::string>{"Add Connection:=URL;x Destination:=A1", "Visible put True", "<default>"}));
    EXPECT_EQ(positionalCount(std::vector<Arg>{Arg(1), Arg("name", 2)}), 1u);
    EXPECT_EQ(failureOf([] {
                  positionalCount(std::vector<Arg>{Arg("name", 2), Arg(1)});
              }),
              failure_text::kWrongArguments);
    o.release();
    EXPECT_TRUE(o.isNothing());
    EXPECT_EQ(failureOf([&] { o.call("Add"); }), "Object variable or With block variable not set");
    EXPECT_EQ(failureOf([] { Object(Variant("text")); }), "Object required");
}

}  // namespace
}  // namespace qf::automation
