// Message numbers, the message record, key and mouse codes, and shift states.
#pragma once

#include <cstdint>

namespace ql {

/// One message as every window procedure sees it; Result is the answer.
struct TMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

// Window-system messages.
constexpr std::uint32_t WM_NULL = 0x0000;
constexpr std::uint32_t WM_DESTROY = 0x0002;
constexpr std::uint32_t WM_MOVE = 0x0003;
constexpr std::uint32_t WM_SIZE = 0x0005;
constexpr std::uint32_t WM_SETFOCUS = 0x0007;
constexpr std::uint32_t WM_KILLFOCUS = 0x0008;
constexpr std::uint32_t WM_PAINT = 0x000F;      ///< WParam: the surface to paint on, or 0
constexpr std::uint32_t WM_ERASEBKGND = 0x0014; ///< WParam: the surface
constexpr std::uint32_t WM_SETCURSOR = 0x0020;  ///< WParam: the window; LParam: hit code | message << 16
constexpr std::uint32_t WM_GETDLGCODE = 0x0087;
constexpr std::uint32_t WM_KEYDOWN = 0x0100; ///< WParam: virtual key; LParam: key data
constexpr std::uint32_t WM_KEYUP = 0x0101;
constexpr std::uint32_t WM_CHAR = 0x0102; ///< WParam: character code
constexpr std::uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr std::uint32_t WM_SYSKEYUP = 0x0105;
constexpr std::uint32_t WM_SYSCHAR = 0x0106;
constexpr std::uint32_t WM_TIMER = 0x0113;     ///< WParam: timer identifier
constexpr std::uint32_t WM_MOUSEMOVE = 0x0200; ///< WParam: MK_* flags; LParam: MakeMouseLParam(x, y)
constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x0206;
constexpr std::uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr std::uint32_t WM_MBUTTONUP = 0x0208;
constexpr std::uint32_t WM_MBUTTONDBLCLK = 0x0209;
constexpr std::uint32_t WM_MOUSEWHEEL = 0x020A;
constexpr std::uint32_t WM_CAPTURECHANGED = 0x0215;
constexpr std::uint32_t WM_MOUSELEAVE = 0x02A3; ///< the pointer left the native window

// The toolkit's own messages.
constexpr std::uint32_t CM_BASE = 0xB000;
constexpr std::uint32_t CM_DIALOGCHAR = 0xB006;   ///< WParam: character; answer 0 to let others see it
constexpr std::uint32_t CM_FOCUSCHANGED = 0xB007; ///< LParam: the newly focused windowed control
constexpr std::uint32_t CM_PARENTFONTCHANGED = 0xB008;
constexpr std::uint32_t CM_PARENTCOLORCHANGED = 0xB009;
constexpr std::uint32_t CM_HITTEST = 0xB00A; ///< LParam: point; answer non-zero to take the mouse
constexpr std::uint32_t CM_VISIBLECHANGED = 0xB00B;
constexpr std::uint32_t CM_ENABLEDCHANGED = 0xB00C;
constexpr std::uint32_t CM_COLORCHANGED = 0xB00D;
constexpr std::uint32_t CM_FONTCHANGED = 0xB00E;
constexpr std::uint32_t CM_CURSORCHANGED = 0xB00F;
constexpr std::uint32_t CM_TEXTCHANGED = 0xB012;
constexpr std::uint32_t CM_MOUSEENTER = 0xB013;
constexpr std::uint32_t CM_MOUSELEAVE = 0xB014;
constexpr std::uint32_t CM_APPKEYDOWN = 0xB016; ///< WParam: key; LParam: key data
constexpr std::uint32_t CM_CHILDKEY = 0xB02E;   ///< WParam: key; LParam: the control asking
constexpr std::uint32_t CN_BASE = 0xBC00;
constexpr std::uint32_t CN_KEYDOWN = 0xBD00; ///< key down offered to the focused control first
constexpr std::uint32_t CN_KEYUP = 0xBD01;
constexpr std::uint32_t CN_CHAR = 0xBD02;

/// Hit code of WM_SETCURSOR for the client area.
constexpr std::intptr_t HTCLIENT = 1;

// Mouse key flags in WParam of mouse messages.
constexpr std::uintptr_t MK_LBUTTON = 0x01;
constexpr std::uintptr_t MK_RBUTTON = 0x02;
constexpr std::uintptr_t MK_SHIFT = 0x04;
constexpr std::uintptr_t MK_CONTROL = 0x08;
constexpr std::uintptr_t MK_MBUTTON = 0x10;

// Dialog codes answered to WM_GETDLGCODE.
constexpr std::intptr_t DLGC_WANTARROWS = 0x1;
constexpr std::intptr_t DLGC_WANTTAB = 0x2;
constexpr std::intptr_t DLGC_WANTALLKEYS = 0x4;
constexpr std::intptr_t DLGC_WANTCHARS = 0x80;

// Virtual key codes.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_CANCEL = 0x03;
constexpr int VK_MBUTTON = 0x04;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_PRIOR = 0x21;
constexpr int VK_NEXT = 0x22;
constexpr int VK_END = 0x23;
constexpr int VK_HOME = 0x24;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_EXECUTE = 0x2B;
constexpr int VK_INSERT = 0x2D;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_F1 = 0x70;

/// Bit 29 of a key message's data: the Alt key was down.
constexpr std::intptr_t KF_ALTDOWN_BIT = 1 << 29;

/// Mouse position in LParam: x in the low 16 bits, y in the high 16 bits, both signed.
constexpr std::intptr_t MakeMouseLParam(std::int32_t x, std::int32_t y) {
    return static_cast<std::intptr_t>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(x)) |
                                      (static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16));
}
constexpr std::int32_t MouseX(std::intptr_t lparam) { return static_cast<std::int16_t>(lparam & 0xFFFF); }
constexpr std::int32_t MouseY(std::intptr_t lparam) {
    return static_cast<std::int16_t>((lparam >> 16) & 0xFFFF);
}

enum TShiftFlag : std::uint32_t {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64
};
/// Keys and mouse buttons held during an event (TShiftFlag bits).
using TShiftState = std::uint32_t;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

/// The shift state a mouse message reports (MK_* flags, Alt from the key state).
TShiftState KeysToShiftState(std::uintptr_t keys);
/// The shift state of a key message's data (Alt from the data, Shift and Ctrl from the key state).
TShiftState KeyDataToShiftState(std::intptr_t keyData);

} // namespace ql
