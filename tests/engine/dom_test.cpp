// The document mirror: parsing, the program's selectors, handles that outlive their nodes, the
// patches a change records, and the form controls' live values.
#include "engine/dom.h"
#include "engine/form_controls.h"

#include <gtest/gtest.h>

using namespace verdal::engine;

namespace {

constexpr char kPage[] = R"(<html><head><style>td{width:100%%}</style></head><body>
<div id="top" class="a b"><span id="s1">one</span><span id="s2">two</span></div>
<widget type="sys-listview" id="6001" REPORT SINGLESEL></widget>
<select name="country" id="sel"><option value="1">A</option><option value="2" selected>B</option></select>
<input type="radio" name="r" value="a" checked><input type="radio" name="r"><input type="radio" name="r">
<input type="checkbox" name="c"><input type="text" name="t" value="hello">
<input type="hidden" name="h" value="secret"><button id="b" name="b" value="go">Go</button>
<p name="plain">x</p>
</body></html>)";

TEST(DomMirror, ParsesAttributesTextAndTree) {
    Document doc(kPage);
    Element root = doc.Root();
    Element widget = root.FindByAttribute("id", "6001");
    ASSERT_TRUE(widget);
    EXPECT_EQ(widget.Tag(), "widget");
    // Bare keyword attributes are found in any letter case.
    EXPECT_TRUE(widget.HasAttribute("report"));
    EXPECT_TRUE(widget.HasAttribute("Report"));
    EXPECT_FALSE(widget.HasAttribute("ownerdrawfixed"));
    EXPECT_EQ(root.SelectFirst("#top").Text(), "onetwo");
    EXPECT_EQ(root.SelectFirst("#top").ChildCount(), 2u);
    EXPECT_EQ(root.SelectFirst("#top").NthChild(1).Attribute("id"), "s2");
    EXPECT_EQ(root.SelectFirst("#s2").Parent().Attribute("id"), "top");
    EXPECT_FALSE(root.SelectFirst("#top").NthChild(2));
    // The style text is kept as written, doubled percent signs included.
    EXPECT_NE(doc.Head().InnerHtml().find("100%%"), std::string::npos);
}

TEST(DomMirror, SelectorsOfTheProgram) {
    Document doc(kPage);
    Element root = doc.Root();
    EXPECT_EQ(root.Select("[name]").size(), 9u);
    EXPECT_EQ(root.SelectFirst("[name='country']").Tag(), "select");
    EXPECT_EQ(root.Select("[type='radio'][name='r']").size(), 3u);
    EXPECT_EQ(root.Select("[type='checkbox'][name='c']").size(), 1u);
    EXPECT_EQ(root.Select("span").size(), 2u);
    EXPECT_EQ(root.Select("div.b span#s1").size(), 1u);
    EXPECT_EQ(root.Select("span, select").size(), 3u);
    EXPECT_TRUE(root.Select("[name='missing']").empty());
    EXPECT_TRUE(root.Select("[unclosed").empty());
}

TEST(DomMirror, HandlesSurviveRemoval) {
    Document doc(kPage);
    Element span = doc.Root().SelectFirst("#s1");
    doc.Root().SelectFirst("#top").SetText("gone");
    EXPECT_EQ(span.shared().use_count(), 1);
    EXPECT_EQ(span.Text(), "one");
    EXPECT_EQ(span.GetDocument(), nullptr);
    EXPECT_FALSE(span.Parent());
}

TEST(DomMirror, ChangesAreRecordedAsPatches) {
    Document doc(kPage);
    doc.TakePatches();
    Element top = doc.Root().SelectFirst("#top");
    top.SetAttribute("title", "t");
    top.SetAttribute("TITLE", nullptr);
    EXPECT_FALSE(top.HasAttribute("title"));
    top.SetStyleProperty("display", "none");
    EXPECT_EQ(top.StyleProperty("display"), "none");
    top.SetHtml("<b>x</b>", Element::Where::Append);
    EXPECT_EQ(top.InnerHtml(), "<span id=\"s1\">one</span><span id=\"s2\">two</span><b>x</b>");
    const auto patches = doc.TakePatches();
    ASSERT_EQ(patches.size(), 3u); // two changes of one attribute make one patch
    EXPECT_EQ(patches[0].kind, PatchOp::Kind::Attribute);
    EXPECT_EQ(patches[2].kind, PatchOp::Kind::Inner);
    EXPECT_FALSE(doc.HasPatches());
}

TEST(FormControls, TheBrowserGetsLiveValuesAndTheDisabledState) {
    Document doc(kPage);
    Element root = doc.Root();
    Element text = root.SelectFirst("[name='t']");
    ControlSetValue(text, Value::String(u"\u00e9t\u00e9"));
    EXPECT_EQ(ControlGetValue(text).text, u"\u00e9t\u00e9");
    // The browser receives the live value, not the markup's.
    EXPECT_NE(SerializeForBrowser(*text.node(), true).find("value=\"\xC3\xA9t\xC3\xA9\""),
              std::string::npos);

    Element button = root.SelectFirst("#b");
    button.SetState(STATE_DISABLED, 0);
    EXPECT_TRUE(button.HasAttribute("disabled"));
    button.SetState(0, STATE_DISABLED);
    EXPECT_EQ(button.State() & STATE_DISABLED, 0u);
}

} // namespace
