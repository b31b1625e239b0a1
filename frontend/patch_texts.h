// Texts the patch program shows in more than one place.
#pragma once

namespace qelt {

// Caption of the program's message boxes.
inline constexpr char kGameTitle[] = "《溪云归棹》";
// The client prompt and the status line after the player gave up on it.
inline constexpr char kClientRunningText[] = "游戏客户端正在运行,在进行下面的操作前请关闭客户端!";
// The labels of the installation found and its version.
inline constexpr char kFolderLabel[] = "安装目录: ";
inline constexpr char kVersionLabel[] = "本地版本: ";

}  // namespace qelt
