// Shared pieces of the UI engine tests: GDI+ start-up, a window that records the messages
// objects send it, layout trees from XML text, and pixel reading.
#include "uitestsupport.h"

#include <gtest/gtest.h>

#include <memory>

#include "qpxlayout.h"
#include "qpxplatform.h"

namespace uitest {
namespace {

// The platform exactly as the installer's entry starts it, for the whole test program: what
// the engine needs of it (GDI+, OLE for the text box's drop target) must come from there.
class UiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { platform_ = std::make_unique<QPXPlatformScope>(); }
    void TearDown() override {
        QPXUE::LayoutRegistry::Instance().Clear();
        platform_.reset();
    }

private:
    std::unique_ptr<QPXPlatformScope> platform_;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

const wchar_t kClassName[] = L"QpxUiTestWindow";

}  // namespace

RecordingWindow::RecordingWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);  // fails harmlessly once registered
    window_ = CreateWindowExW(0, kClassName, L"ui test", WS_POPUP, 0, 0, 640, 480, nullptr,
                              nullptr, GetModuleHandleW(nullptr), this);
}

RecordingWindow::~RecordingWindow() {
    QPXUE::DestroyLayout(window_);
    DestroyWindow(window_);
}

std::vector<Message> RecordingWindow::Of(UINT msg) const {
    std::vector<Message> result;
    for (const Message& m : messages_)
        if (m.msg == msg) result.push_back(m);
    return result;
}

LRESULT CALLBACK RecordingWindow::Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && msg >= WM_USER) {
        self->messages_.push_back(Message{msg, wParam, lParam});
        return 0;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

QPXUE::ContainerUIObjectImpl* Build(HWND window, const wchar_t* xml, const QPXUE::DisplayScale& scale) {
    // Element text is copied by the loader, so the document may go once the tree is built.
    pugi::xml_document document;
    if (!document.load_string(xml)) return nullptr;
    return QPXUE::BuildLayout(window, document.first_child(), scale);
}

Rendered Render(QPXUE::IQPXBaseUIObject& object, int width, int height) {
    QPXUE::Surface surface(nullptr, width, height);
    object.Draw(surface.GetGraphics());
    surface.Flush();
    Rendered result{std::vector<uint32_t>(static_cast<size_t>(width) * height), width, height};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) result.pixels[static_cast<size_t>(y) * width + x] = surface.Pixel(x, y);
    return result;
}

}  // namespace uitest
