#pragma once

#include <string_view>

namespace velkora {

// The commands of the two tray menus.
enum class MenuCommand {
    menu1,    // check now
    Mailer1,  // start mail program 1
    Mailer2,  // start mail program 2
    menu3,    // tray icon back to normal
    menu0,    // read the listed mail again
    menu02,   // show the popup again
    menu4,    // run the options program
    menu5,    // version window
    mend,     // exit
};

// One line of a menu's layout, in display order.
struct MenuLine {
    enum class Kind { Command, Separator, SubmenuStart, SubmenuEnd };
    Kind kind;
    std::string_view name;
    std::string_view caption;
    bool initiallyEnabled = true;
    MenuCommand command = MenuCommand::menu1;
};

inline constexpr std::string_view kMainMenuTitle = "ﾌｧｲﾙ(&F)";
inline constexpr std::string_view kDialMenuTitle = "DialUp(&D)";

// The main menu `mfile`; the two mailer items sit in the "ﾒｰﾗｰ起動" submenu.
inline constexpr MenuLine kMainMenu[] = {
    {MenuLine::Kind::Command, "menu1", "ﾒｰﾙﾁｪｯｸ(&L)", true, MenuCommand::menu1},
    {MenuLine::Kind::SubmenuStart, "menu2", "ﾒｰﾗｰ起動", true},
    {MenuLine::Kind::Command, "Mailer(1)", "未登録", false, MenuCommand::Mailer1},
    {MenuLine::Kind::Command, "Mailer(2)", "未登録", false, MenuCommand::Mailer2},
    {MenuLine::Kind::SubmenuEnd, "", ""},
    {MenuLine::Kind::Command, "menu3", "ｱｲｺﾝを元に戻す(&C)", true, MenuCommand::menu3},
    {MenuLine::Kind::Separator, "sep5", "-"},
    {MenuLine::Kind::Command, "menu0", "再度読み上げ(&T)", false, MenuCommand::menu0},
    {MenuLine::Kind::Command, "menu02", "ポップアップ再表示(&P)", false, MenuCommand::menu02},
    {MenuLine::Kind::Separator, "sep1", "-"},
    {MenuLine::Kind::Command, "menu4", "OPTION(&O)", true, MenuCommand::menu4},
    {MenuLine::Kind::Separator, "sep2", "-"},
    {MenuLine::Kind::Command, "menu5", "バージョン情報(&A)", true, MenuCommand::menu5},
    {MenuLine::Kind::Separator, "sep4", "-"},
    {MenuLine::Kind::Command, "mend", "終了(&X)", true, MenuCommand::mend},
};

}  // namespace velkora
