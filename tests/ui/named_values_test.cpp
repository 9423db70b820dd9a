// The named values of a page's controls, read and written, and element functions on missing
// elements.
#include "ui/element.h"

#include <gtest/gtest.h>

using namespace verdal;

namespace {

constexpr char kForm[] = R"(<html><body><form id="f">
<input type="radio" name="r" checked><input type="radio" name="r"><input type="radio" name="r">
<input type="checkbox" name="c"><input type="checkbox" name="c" checked><input type="checkbox" name="c">
<input type="checkbox" name="one">
<input type="text" name="t" value="first"><input type="text" name="t" value="second">
<input type="hidden" name="h" value="7"><input type="number" name="n" value="3">
<select name="s"><option value="a">A</option><option value="b">B</option></select>
<textarea name="area">words</textarea>
<div name="rich" style="behavior:htmlarea"><b>bold</b></div>
<button name="btn" value="pressed">B</button>
<span name="plain">not a control</span>
</form></body></html>)";

// Which of the elements the selector finds are checked.
std::vector<bool> Checked(const Element& root, const char* selector) {
    std::vector<bool> checked;
    for (const Element& e : root.Select(selector))
        checked.push_back(GetElementState(e) & engine::STATE_CHECKED);
    return checked;
}

// A radio group takes an index and ignores one outside it, a group of boxes a mask and a single
// box a boolean; every other control takes its text, the first of a name read.
TEST(NamedValues, EveryControlTypeReadsAndWrites) {
    engine::Document doc(kForm);
    const Element root = doc.Root();
    NamedValues values = GetNamedValues(root);
    const std::pair<std::u16string, std::u16string> texts[] = {
        {u"t", u"first"},    {u"h", u"7"},        {u"n", u"3"},
        {u"s", u"a"},        {u"area", u"words"}, {u"rich", u"<b>bold</b>"},
        {u"btn", u"pressed"}};
    for (const auto& [name, text] : texts)
        EXPECT_EQ(values.at(name).text, text);
    EXPECT_EQ(values.count(u"plain"), 0u);

    EXPECT_TRUE(SetNamedValues(root, {{u"r", Value::Integer(2)}}));
    EXPECT_EQ(Checked(root, "[name='r']"), (std::vector<bool>{false, false, true}));
    SetNamedValues(root, {{u"r", Value::Integer(5)}});
    EXPECT_EQ(Checked(root, "[name='r']"), (std::vector<bool>{false, false, true}));
    EXPECT_TRUE(SetNamedValues(root, {{u"c", Value::Integer(5)}, {u"one", Value::Boolean(true)}}));
    EXPECT_EQ(Checked(root, "[name='c']"), (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(SetNamedValues(root, {{u"t", Value::String(u"\u65e5\u672c")},
                                      {u"s", Value::String(u"b")},
                                      {u"area", Value::String(u"more")},
                                      {u"rich", Value::String(u"<i>it</i>")},
                                      {u"missing", Value::String(u"x")}}));
    values = GetNamedValues(root);
    EXPECT_EQ(values.at(u"r"), Value::Integer(2));
    EXPECT_EQ(values.at(u"c"), Value::Integer(5));
    EXPECT_EQ(values.at(u"one"), Value::Boolean(true));
    EXPECT_EQ(values.at(u"t").text, u"\u65e5\u672c");
    EXPECT_EQ(values.at(u"s").text, u"b");
    EXPECT_EQ(values.at(u"area").text, u"more");
    EXPECT_EQ(GetText(SelectFirst(root, "[name='%s']", "rich")), u"it");
    // Nothing named so, or nothing that is a control: nothing set.
    EXPECT_FALSE(
        SetNamedValues(root, {{u"plain", Value::String(u"x")}, {u"zz", Value::Integer(1)}}));
    EXPECT_EQ(GetText(SelectFirst(root, "[name='plain']")), u"not a control");
}

TEST(ElementFunctions, MissingElementsGiveEmptyResults) {
    engine::Document doc("<p id='a' n='12x' e=''>text</p>");
    const Element root = doc.Root();
    const Element p = ElementById(root, u"a");
    EXPECT_EQ(IntAttribute(p, "n", 5), 12);
    EXPECT_EQ(IntAttribute(p, "e", 5), 5);
    EXPECT_EQ(IntAttribute(p, "none", 5), 5);
    EXPECT_FALSE(ElementById(root, u"b"));
    const Element none;
    EXPECT_EQ(GetText(none), u"");
    SetText(none, u"x");
    SetText(p, nullptr);
    EXPECT_EQ(GetText(p), u"text");
    SetHtml(p, nullptr, 0, SIH_APPEND_AFTER_LAST);
    EXPECT_EQ(GetText(p), u"");
    const std::string more = "<i>1</i>";
    SetHtml(p, more.data(), more.size(), SIH_APPEND_AFTER_LAST);
    SetHtml(p, more.data(), more.size(), SIH_APPEND_AFTER_LAST);
    EXPECT_EQ(GetText(p), u"11");
}

} // namespace
