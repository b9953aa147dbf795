#include "FakeDocumentHost.h"
#include "engine/fsDocument.h"
#include "persist/fsPlainXml.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class DocumentClipboard : public ::testing::Test {
protected:
  DocumentClipboard() {
    for (int i = 0; i < 3; ++i) {
      auto shape = std::make_unique<TfsShape>();
      shape->SetName("s" + std::to_string(i));
      shape->SetBounds(10.0f * i, 5, 20, 30);
      Doc.AddShape(std::move(shape));
    }
  }

  void Select(std::vector<int> indices) {
    Doc.ClearSelection();
    for (int i : indices)
      Doc.GetShape(i)->SetSelected(true);
  }

  std::vector<std::string> Positions() const {
    std::vector<std::string> out;
    for (int i = 0; i < Doc.ShapeCount(); ++i) {
      const TfsShape &s = *Doc.GetShape(i);
      out.push_back(s.Name() + "@" + std::to_string(static_cast<int>(s.DocLeft())) + "," +
                    std::to_string(static_cast<int>(s.DocTop())));
    }
    return out;
  }

  TFakeDocumentHost Host;
  TfsDocument Doc{&Host};
};

TEST_F(DocumentClipboard, RepeatedPastesStepByTheOffset) {
  Select({0, 2});
  Doc.CopySelection();
  EXPECT_EQ(Host.Clipboard.compare(0, 5, "<?xml"), 0);
  EXPECT_TRUE(Doc.CanPaste()) << "our own copies can be pasted";
  Doc.PasteSelection();
  Doc.PasteSelection();
  EXPECT_EQ(Positions(), (std::vector<std::string>{"s0@0,5", "s1@10,5", "s2@20,5", "s0@10,15",
                                                   "s2@30,15", "s0@20,25", "s2@40,25"}));
  EXPECT_EQ(Doc.SelectedCount(), 2) << "the last pasted copies are selected";
  EXPECT_TRUE(Doc.GetShape(5)->Selected());

  // One undo takes one paste back.
  Doc.Undo();
  EXPECT_EQ(Doc.ShapeCount(), 5);
}

TEST_F(DocumentClipboard, CutAndPastePutsTheShapesBackInPlace) {
  Select({1});
  const int32_t id = Doc.GetShape(1)->ID();
  Doc.CutSelection();
  EXPECT_EQ(Positions(), (std::vector<std::string>{"s0@0,5", "s2@20,5"}));
  Doc.PasteSelection();
  EXPECT_EQ(Positions(), (std::vector<std::string>{"s0@0,5", "s2@20,5", "s1@10,5"}));
  EXPECT_NE(Doc.GetShape(2)->ID(), id) << "a pasted shape is a new shape";
  Doc.PasteSelection();
  EXPECT_EQ(Positions().back(), "s1@20,15");

  // Pasting onto another page keeps the position.
  Doc.AddPage();
  Doc.SetCurrentPageIndex(1);
  Doc.PasteSelection();
  EXPECT_EQ(Positions(), (std::vector<std::string>{"s1@20,15"}));
}

TEST_F(DocumentClipboard, CanPasteLooksForTheExactDeclaration) {
  struct Case {
    const char *text;
    bool can;
  };
  const Case cases[] = {
      {"<?xml version=\"1.0\"?><Selection/>", true},
      {"<?XML version=\"1.0\"?><Selection/>", false},
      {" <?xml version=\"1.0\"?>", false},
      {"<?xm", false},
      {"", false},
  };
  for (const Case &c : cases) {
    Host.Clipboard = c.text;
    EXPECT_EQ(Doc.CanPaste(), c.can) << c.text;
  }

  // Without the system clipboard the internal text counts.
  Doc.SetUseClipboard(false);
  Host.Clipboard = "<?xml";
  EXPECT_FALSE(Doc.CanPaste());
  Select({0});
  Doc.CopySelection();
  EXPECT_TRUE(Doc.CanPaste());
  EXPECT_EQ(Host.Clipboard, "<?xml") << "the system clipboard is left alone";
  Doc.PasteSelection();
  EXPECT_EQ(Doc.ShapeCount(), 4);
  Doc.SetUseClipboard(true);
  Doc.SetUseClipboard(false);
  EXPECT_FALSE(Doc.CanPaste()) << "turning the clipboard on drops the internal text";
}

TEST_F(DocumentClipboard, TheSelectionTextAndWhatPastesNothing) {
  std::string text = "unchanged";
  Doc.CopyToText(text);
  EXPECT_EQ(text, "") << "no selection";

  Select({1});
  Doc.GetShape(1)->SetMasterAlpha(77);
  Doc.CopyToText(text);
  TPlainXml xml;
  xml.ReadFromString(text);
  ASSERT_NE(xml.Root(), nullptr);
  EXPECT_EQ(xml.Root()->Name(), "Selection");
  ASSERT_EQ(xml.Root()->ChildCount(), 1);
  EXPECT_EQ(xml.Root()->Child(0)->LoadString("ClassName", ""), "TfsShape");
  EXPECT_NE(text.find("\r\n"), std::string::npos) << "readable layout";

  const std::string rejected[] = {
      "not xml at all <",
      "<?xml version=\"1.0\"?><Other><shape/></Other>",
      "<?xml version=\"1.0\"?><selection><shape/></selection>",
      "<?xml version=\"1.0\"?><Selection/>",
  };
  for (const std::string &bad : rejected) {
    EXPECT_EQ(Doc.PasteFromText(bad), 0) << bad;
    EXPECT_EQ(Doc.ShapeCount(), 3);
  }
  EXPECT_TRUE(Doc.GetShape(1)->Selected()) << "a rejected text leaves the selection";

  // Element names match without regard to case; unknown classes make a
  // plain shape; other elements are skipped.
  std::string mixed = text;
  mixed.replace(mixed.find("<shape>"), 7, "<SHAPE>");
  mixed.replace(mixed.find("</shape>"), 8, "</SHAPE><comment/>");
  mixed.replace(mixed.find(">TfsShape<"), 10, ">TNoSuchShape<");
  EXPECT_EQ(Doc.PasteFromText(mixed), 1);
  ASSERT_EQ(Doc.ShapeCount(), 4);
  EXPECT_EQ(Doc.GetShape(3)->ClassName(), "TfsShape");
  EXPECT_EQ(Doc.GetShape(3)->Name(), "s1");
  EXPECT_EQ(Doc.GetShape(3)->MasterAlpha(), 77);
  EXPECT_EQ(Doc.SelectedCount(), 1);
  EXPECT_TRUE(Doc.GetShape(3)->Selected());
}

TEST_F(DocumentClipboard, OperationsAreRefusedWhileWorking) {
  Select({0});
  Doc.BeginWork(crHourGlass);
  for (auto op :
       {&TfsDocument::CopySelection, &TfsDocument::CutSelection, &TfsDocument::PasteSelection}) {
    EXPECT_THROW((Doc.*op)(), EfsError);
  }
  Doc.EndWork();
  EXPECT_EQ(Doc.ShapeCount(), 3);
}

} // namespace
