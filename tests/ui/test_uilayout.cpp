// The layout loader: attribute syntax and defaults, the tree it builds, broken layouts.
#include <gtest/gtest.h>

#include "qpxanimation.h"
#include "qpxcontrols.h"
#include "qpxlayout.h"
#include "qpxtextbox.h"
#include "testsupport.h"
#include "uitestsupport.h"

using namespace QPXUE;
using namespace uitest;

namespace {

bool Equal(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(UiLayout, BooleansTakeTheFirstCharacter) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,10,10'>"
        L"<Container name='yes' visible='yes'/><Container name='True' visible='True'/>"
        L"<Container name='1' visible='1'/><Container name='on' visible='on'/>"
        L"<Container name='empty' visible=''/><Container name='missing'/></Container>");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->FindContainer(L"yes")->IsVisible());
    EXPECT_TRUE(root->FindContainer(L"True")->IsVisible());
    EXPECT_TRUE(root->FindContainer(L"1")->IsVisible());
    EXPECT_FALSE(root->FindContainer(L"on")->IsVisible());
    EXPECT_FALSE(root->FindContainer(L"empty")->IsVisible());
    EXPECT_TRUE(root->FindContainer(L"missing")->IsVisible());
}

TEST(UiLayout, RectsKeepTheValuesParsedBefore) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,600,400'>"
        L"<Container name='Half' rect='1,2,x,4'/><Container name='None'/>"
        L"<Container name='Spaced' rect=' 5, -6,+7 ,8'/><Container name='Sign' rect='1,-,3,4'/>"
        L"<TextBox name='T' rect='10,20,130,50' clrect='12,22' resId='403' type='PNG'/>"
        L"<TextBox name='U' rect='10,60,130,90' resId='403' type='PNG'/>"
        L"<Progress name='P' rect='20,100,580,110' resId='406' type='PNG'><Front resId='407' type='PNG'/></Progress>"
        L"</Container>");
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(Equal(root->FindContainer(L"Half")->GetRect(), RECT{1, 2, 0, 0}));
    EXPECT_TRUE(Equal(root->FindContainer(L"None")->GetRect(), RECT{0, 0, 0, 0}));
    // Blanks and a sign may lead a number; a blank before a comma ends the list.
    EXPECT_TRUE(Equal(root->FindContainer(L"Spaced")->GetRect(), RECT{5, -6, 7, 0}));
    EXPECT_TRUE(Equal(root->FindContainer(L"Sign")->GetRect(), RECT{1, 0, 0, 0}));
    auto* t = dynamic_cast<TextBoxUIObjectImpl*>(root->FindControl(L"T"));
    auto* u = dynamic_cast<TextBoxUIObjectImpl*>(root->FindControl(L"U"));
    ASSERT_NE(t, nullptr);
    ASSERT_NE(u, nullptr);
    EXPECT_TRUE(Equal(t->GetClientRect(), RECT{12, 22, 130, 50}));
    EXPECT_TRUE(Equal(u->GetClientRect(), RECT{10, 60, 130, 90}));
    // A Front without rect fills over the bar's own rect.
    auto* p = dynamic_cast<ProgressUIObjectImpl*>(root->FindControl(L"P"));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; ++i) p->StepProgress();
    EXPECT_EQ(Render(*root, 600, 120).Rgb(300, 105), 0x00FF00u);
}

TEST(UiLayout, ResourceIdUsesItsLowWordAndActionsDefaultToWmUser) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,100'><Picture name='P' rect='0,0,10,10' resId='65837' type='PNG'/>"
        L"<Button name='B' rect='20,20,40,40' resId='401' type='PNG'/>"
        L"<Button name='F' rect='50,20,70,40' resId='401' type='PNG' action='5'/></Container>");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Render(*root, 100, 100).Rgb(5, 5), 0x0A141Eu);  // resource 301, stretched
    BOOL handled = FALSE;
    for (int x : {30, 60}) {
        root->OnLButtonDown(WM_LBUTTONDOWN, 0, At(x, 30), handled);
        root->OnLButtonUp(WM_LBUTTONUP, 0, At(x, 30), handled);
    }
    EXPECT_EQ(window.Of(0x400).size(), 1u);
    EXPECT_EQ(window.Of(0x405).size(), 1u);
}

TEST(UiLayout, UnknownElementsAreSkippedWithTheirSubtree) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,100'><Panel><Button name='Lost' rect='0,0,20,20' resId='401' type='PNG'/></Panel>"
        L"<container name='lower'/>text<Container name='Body' bkcolor='1,2,3'>"
        L"<Button name='Deep' rect='0,0,20,20' resId='401' type='PNG'><Button name='Under' resId='401' type='PNG'/></Button>"
        L"</Container></Container>");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetControls().size(), 0u);
    ASSERT_EQ(root->GetContainers().size(), 1u);
    EXPECT_EQ(root->FindControl(L"Deep"), nullptr);  // direct children only
    ContainerUIObjectImpl* body = root->FindContainer(L"Body");
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->GetControls().size(), 1u);
    EXPECT_EQ(root->CollectControlsOfType<ButtonUIObjectImpl>().size(), 1u);
    EXPECT_EQ(root->CollectControlsOfType<PictureUIObjectImpl>().size(), 0u);
}

TEST(UiLayout, CollectsControlsOfAClassDepthFirst) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,100'><CheckBox name='1' resId='402' type='PNG'/>"
        L"<Container><CheckBox name='2' resId='402' type='PNG'/><Container><CheckBox name='3' resId='402' type='PNG'/></Container></Container>"
        L"<Container><CheckBox name='4' resId='402' type='PNG'/></Container>"
        L"<Carousel name='c' resId='405' type='PNG'/></Container>");
    ASSERT_NE(root, nullptr);
    std::wstring order;
    for (CheckBoxUIObjectImpl* box : root->CollectControlsOfType<CheckBoxUIObjectImpl>())
        order += box->GetName();
    EXPECT_EQ(order, L"3241");
    // The run-time class must match exactly: a carousel is not collected as a picture.
    EXPECT_TRUE(root->CollectControlsOfType<PictureUIObjectImpl>().empty());
    EXPECT_EQ(root->CollectControlsOfType<CarouselUIObjectImpl>().size(), 1u);
}

TEST(UiLayout, DialogSizeAndFontDefaults) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(L"<Root><Dlg name='a'/><Dlg name='b' width='600' height='430'/></Root>"));
    pugi::xml_node root = document.first_child();
    EXPECT_EQ(DialogWidth(root.find_child_by_attribute(L"Dlg", L"name", L"a")), 400);
    EXPECT_EQ(DialogHeight(root.find_child_by_attribute(L"Dlg", L"name", L"a")), 300);
    EXPECT_EQ(DialogWidth(root.find_child_by_attribute(L"Dlg", L"name", L"b")), 600);
    EXPECT_EQ(DialogHeight(root.find_child_by_attribute(L"Dlg", L"name", L"b")), 430);

    // Without `font` a label uses Arial; with an empty one the generic sans-serif face. The
    // two faces draw the same text to different widths.
    RecordingWindow window;
    ContainerUIObjectImpl* tree = Build(window.Handle(),
        L"<Container rect='0,0,400,100'><Label name='A' rect='0,0,400,50' color='255,255,255' size='20'>Wide Text Mmm iii</Label>"
        L"<Label name='E' rect='0,50,400,100' color='255,255,255' size='20' font=''>Wide Text Mmm iii</Label></Container>");
    ASSERT_NE(tree, nullptr);
    const Rendered r = Render(*tree, 400, 100);
    auto rightmost = [&](int top, int bottom) {
        int last = -1;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 400; ++x)
                if (r.Alpha(x, y) != 0 && x > last) last = x;
        return last;
    };
    const int arial = rightmost(0, 50);
    const int generic = rightmost(50, 100);
    EXPECT_GT(arial, 0);
    EXPECT_GT(generic, 0);
    Gdiplus::FontFamily named(L"Arial");
    WCHAR arialName[LF_FACESIZE] = {};
    WCHAR genericName[LF_FACESIZE] = {};
    named.GetFamilyName(arialName);
    Gdiplus::FontFamily::GenericSansSerif()->GetFamilyName(genericName);
    if (std::wstring(arialName) != genericName) {
        EXPECT_NE(arial, generic);
    }
}

TEST(UiLayout, BrokenLayoutsFailWithoutATree) {
    RecordingWindow window;
    const wchar_t* broken[] = {
        L"<Container rect='0,0,10,10'><Button rect='0,0,10,10'/></Container>",
        L"<Container rect='0,0,10,10'><Button rect='0,0,10,10' resId='999' type='PNG'/></Container>",
        L"<Container rect='0,0,10,10'><LinkLabel rect='0,0,10,10' resId='401' type='PNG'>x</LinkLabel></Container>",
        L"<Container rect='0,0,10,10'><Progress rect='0,0,10,10' resId='406' type='PNG'/></Container>",
        L"<Container rect='0,0,10,10'><Container><Carousel name='Slides' resId='405' type='PNG' framecount='0'/></Container></Container>",
        L"<Container rect='0,0,10,10'><GridContainer col='2'/></Container>",
        L"<Container rect='0,0,10,10'><GridContainer row='2'/></Container>",
        L"<Container rect='0,0,10,10'><VerticalContainer/></Container>",
        L"<Container rect='0,0,10,10' resId='999' type='PNG'/>",
    };
    for (const wchar_t* xml : broken) {
        EXPECT_EQ(Build(window.Handle(), xml), nullptr) << xml;
        EXPECT_EQ(LayoutRegistry::Instance().Find(window.Handle()), nullptr) << xml;
    }
    // Containers nest 64 deep at most below the root: deeper trees would recurse without
    // bound when drawn, routed and torn down.
    auto nested = [](int depth) {
        std::wstring xml = L"<Container rect='0,0,10,10'>";
        for (int i = 0; i < depth; ++i) xml += L"<Container name='deep' rect='0,0,10,10'>";
        for (int i = 0; i < depth; ++i) xml += L"</Container>";
        return xml + L"</Container>";
    };
    EXPECT_EQ(Build(window.Handle(), nested(65).c_str()), nullptr);
    EXPECT_EQ(Build(window.Handle(), nested(20000).c_str()), nullptr);
    EXPECT_NE(Build(window.Handle(), nested(64).c_str()), nullptr);
    DestroyLayout(window.Handle());
    // A resource that is no image is no error: it just draws nothing.
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,100,100'><Button rect='0,0,20,20' resId='409' type='PNG'/></Container>");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Render(*root, 100, 100).At(10, 10), 0u);
    // An element other than Container gives what is registered for the window.
    pugi::xml_document document;
    document.load_string(L"<Dlg/>");
    EXPECT_EQ(BuildLayout(window.Handle(), document.first_child()), root);
    DestroyLayout(window.Handle());
    EXPECT_EQ(LayoutRegistry::Instance().Find(window.Handle()), nullptr);
    EXPECT_EQ(BuildLayout(window.Handle(), document.first_child()), nullptr);
}

TEST(UiLayout, APreloadPreparesTheTreesSkinInBuildOrderAndChangesNothingElse) {
    const wchar_t* xml =
        L"<Container rect='0,0,100,100' resId='404' type='PNG'>"
        L"<Container><Button name='Inner' rect='0,0,20,20' resId='401' type='PNG'/></Container>"
        L"<Picture rect='30,0,40,10' resId='301' type='PNG'/><Label font='Courier New'>x</Label><Label>y</Label><Panel resId='402' type='PNG'/>"
        L"<Progress rect='0,50,100,60' resId='406' type='PNG'><Front resId='407' type='PNG'/></Progress>"
        L"<Button rect='40,20,60,40' resId='401' type='PNG'/></Container>";
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(xml));
    // The build's order: a container's controls, then its containers' (the last first).
    const SkinNames skin = LayoutSkin(document.first_child());
    std::wstring order;
    for (const ImageName& image : skin.images)
        order += std::to_wstring(image.id) + (image.premultiply ? L"+ " : L" ");
    EXPECT_EQ(order, L"404+ 301 406+ 407 401+ 401+ ");
    EXPECT_EQ(skin.fontFamilies, (std::vector<std::wstring>{L"Arial", L"Courier New"}));
    EXPECT_TRUE(LayoutSkin(document.first_child().child(L"Picture")).images.empty());  // no Container

    RecordingWindow window;
    ContainerUIObjectImpl* plain = Build(window.Handle(), xml);
    ASSERT_NE(plain, nullptr);
    const Rendered expected = Render(*plain, 100, 100);
    {
        SkinNames more = skin;
        more.images.push_back(ImageName{L"PNG", 402, true});
        const SkinPreload preload(std::move(more));
        ContainerUIObjectImpl* preloaded = Build(window.Handle(), xml);
        ASSERT_NE(preloaded, nullptr);
        EXPECT_EQ(Render(*preloaded, 100, 100).pixels, expected.pixels);
        // The tree took every image it names, each once; what it did not name is still there.
        EXPECT_EQ(SkinPreload::TakeImage(L"PNG", 401), nullptr);
        EXPECT_EQ(SkinPreload::TakeImage(L"PNG", 407), nullptr);
        const std::unique_ptr<ImageObject> left = SkinPreload::TakeImage(L"PNG", 402);
        ASSERT_NE(left, nullptr);
        EXPECT_EQ(left->GetWidth(), 96u);
    }
    EXPECT_EQ(SkinPreload::TakeImage(L"PNG", 402), nullptr);  // none lives

    // What the thread cannot decode the tree meets as it would without it.
    const wchar_t* broken[] = {
        L"<Container rect='0,0,10,10'><Button rect='0,0,10,10' resId='999' type='PNG'/></Container>",
        L"<Container rect='0,0,10,10' resId='999' type='PNG'/>",
    };
    for (const wchar_t* text : broken) {
        ASSERT_TRUE(document.load_string(text));
        const SkinPreload preload(LayoutSkin(document.first_child()));
        EXPECT_EQ(BuildLayout(window.Handle(), document.first_child()), nullptr) << text;
    }
    ASSERT_TRUE(document.load_string(
        L"<Container rect='0,0,100,100'><Button rect='0,0,20,20' resId='409' type='PNG'/></Container>"));
    {
        const SkinPreload preload(LayoutSkin(document.first_child()));
        ContainerUIObjectImpl* root = BuildLayout(window.Handle(), document.first_child());
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(Render(*root, 100, 100).At(10, 10), 0u);  // no image, nothing drawn
    }
    DestroyLayout(window.Handle());
}

TEST(UiLayout, ARejectedLayoutNamesTheElementInTheLog) {
    // The broken-layout cases again, in a process of their own to collect its debug output.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    LoggedProcess child;
    ASSERT_TRUE(child.Start(L"\"" + std::wstring(self) +
                            L"\" --gtest_filter=UiLayout.BrokenLayoutsFailWithoutATree"));
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_TRUE(child.LogContains(L"xm QPXUE::BuildLayout failed at <Carousel name=\"Slides\">: 0x80070057"))
        << child.LogText();
    EXPECT_TRUE(child.LogContains(L"xm QPXUE::BuildLayout failed at <LinkLabel name=\"\">: 0x80004005"));
    EXPECT_TRUE(child.LogContains(L"xm QPXUE::BuildLayout failed at <Container name=\"\">: 0x80004005"));
}

TEST(UiLayout, GridAndVerticalContainersPlaceTheirChildren) {
    RecordingWindow window;
    ContainerUIObjectImpl* root = Build(window.Handle(),
        L"<Container rect='0,0,200,200'>"
        L"<GridContainer name='G' rect='0,0,100,100' col='2' row='2'>"
        L"  <Container name='a' rect='0,0,10,10'/><Container name='b' rect='0,0,10,10'/><Container name='c' rect='0,0,10,10'/></GridContainer>"
        L"<VerticalContainer name='V' rect='100,0,200,100' row='2'>"
        L"  <Container name='a' rect='100,0,150,10'/><Container name='b' rect='100,0,150,10'/><Container name='c' rect='100,0,150,10'/></VerticalContainer>"
        L"</Container>");
    ASSERT_NE(root, nullptr);
    Render(*root, 200, 200);
    ContainerUIObjectImpl* grid = root->FindContainer(L"G");
    EXPECT_TRUE(Equal(grid->FindContainer(L"a")->GetRect(), RECT{0, 0, 10, 10}));
    EXPECT_TRUE(Equal(grid->FindContainer(L"b")->GetRect(), RECT{50, 0, 60, 10}));
    EXPECT_TRUE(Equal(grid->FindContainer(L"c")->GetRect(), RECT{0, 50, 10, 60}));
    ContainerUIObjectImpl* stack = root->FindContainer(L"V");
    EXPECT_TRUE(Equal(stack->FindContainer(L"b")->GetRect(), RECT{100, 50, 150, 60}));
    EXPECT_TRUE(Equal(stack->FindContainer(L"c")->GetRect(), RECT{100, 0, 150, 10}));
}
