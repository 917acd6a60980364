// The texts the user sees, shared by the window and the terminal front-end.
// They are quoted exactly as the program has always shown them (UTF-8).
#pragma once

namespace talu::ui {

inline constexpr const char* kMainTitle = "Talu网络环境检测 2.0";
inline constexpr const char* kStepColumn = "检查步骤";
inline constexpr const char* kResultColumn = "检查结果";
inline constexpr const char* kRecheck = "重新检测";
inline constexpr const char* kExit = "退出";

inline constexpr const char* kAboutEntry = "关于 TaluNetworkCheck(&A)...";
inline constexpr const char* kAboutTitle = "关于 TaluNetworkCheck";
inline constexpr const char* kAboutVersion = "TaluNetworkCheck 1.0 版";
inline constexpr const char* kAboutNotice = "Talu 网络环境检测工具";
inline constexpr const char* kAboutOk = "确定";

inline constexpr const char* kCopyEntry = "复制(&C)";

// The Internet check's failure text: a run that shows it in row 0 alone has
// ended there.

}  // namespace talu::ui
