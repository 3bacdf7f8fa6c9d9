#include "app/ui_texts.h"

#include <array>

namespace tessaly {
namespace {

struct TextRow {
    const char* english;
    const char* japanese;
};

constexpr std::array<TextRow, 36> kTexts = {{
    {"Firmware version / Number of times both channels A and B failed",
     "Firmware version / チャンネルAとBの両方ともエラーになった回数"},
    {"Save received data to CSV file", "受信データをCSVファイルに保存する"},
    {"Inputting NEO-D9C data via serial port", "シリアルポートからNEO-D9Cのデータを入力する"},
    {"Inputting NEO-D9C data via TCP", "TCP経由でNEO-D9Cのデータを入力する"},
    {"Output data to ZED-F9P via serial port", "シリアルポートからZED-F9Pにデータを出力する"},
    {"Output data to ZED-F9P via TCP", "TCP経由でZED-F9Pにデータを出力する"},
    {"Input and output \"Port\" are the same", "入力と出力の Port が同じです"},
    {"Input and output \"Host\" and \"Port\" are the same", "入力と出力の Host と Port が同じです"},
    {"Cannot open COM port", "COMポートをオープンできません"},
    {"Cannot open TCP host", "TCPホストをオープンできません"},
    {"Mistaking the check-sum value\r\n\r\nCorrect value=", "チェックサム値が間違っています\r\n\r\n正しい値="},
    {"Command is invalid", "コマンドが不正です"},
    {"Stop saving CSV file", "CSVファイルの保存を停止する"},
    {"Input link lost, reconnecting", "入力リンクが切断されました。再接続中"},
    {"Output link lost, reconnecting", "出力リンクが切断されました。再接続中"},
    {"Cannot save the settings", "設定を保存できません"},
    {"Cannot use this settings file: the window starts with its defaults and saves nothing there",
     "この設定ファイルは使用できません。既定の設定で起動し、設定は保存しません"},
    {"skipped %1", "未監視 %1"},
    {"Rover: ", "ローバー: "},
    {"no fix", "測位なし"},
    {"2D fix", "2D測位"},
    {"3D fix", "3D測位"},
    {"DGNSS", "DGNSS測位"},
    {"RTK float", "RTKフロート"},
    {"RTK fixed", "RTKフィックス"},
    {"fix unknown", "測位状態不明"},
    {"no position message", "位置メッセージなし"},
    {"%1 SV", "%1 衛星"},
    {"L6 used %1/%2 in 60 s", "L6使用 %1/%2 (60秒間)"},
    {"age %1 s", "補正経過 %1 秒"},
    {"Rover silent for 5 s: turn on NAV-PVT or GGA, and RXM-COR, on its port to Output",
     "ローバー無応答 (5秒): 出力側ポートで NAV-PVT か GGA と RXM-COR を有効に"},
    {"Send \"%1\" to the L6 receiver? It forgets its satellite data and needs minutes to receive again.",
     "「%1」をL6受信機に送信しますか？衛星データが消去され、再び受信できるまで数分かかります。"},
    {"Send \"%1\" to the L6 receiver? Its saved configuration goes back to the defaults.",
     "「%1」をL6受信機に送信しますか？保存された設定が初期値に戻ります。"},
    {"%1: acknowledged by the receiver", "%1: 受信機が受け付けました"},
    {"%1: refused by the receiver", "%1: 受信機が拒否しました"},
    {"%1: no answer from the receiver within 1 s", "%1: 1秒以内に受信機の応答なし"},
}};
static_assert(kTexts.size() == static_cast<std::size_t>(UiText::CommandUnanswered), "one row per text");

}  // namespace

UiLanguage uiLanguageForLocale(std::string_view localeName) {
    const bool japanInJapanese =
        localeName.starts_with("ja_JP") &&
        (localeName.size() == 5 || localeName[5] == '.' || localeName[5] == '@');
    return japanInJapanese ? UiLanguage::Japanese : UiLanguage::English;
}

std::string uiText(UiText row, UiLanguage language) {
    const TextRow& text = kTexts[static_cast<std::size_t>(row) - 1];
    return language == UiLanguage::Japanese ? text.japanese : text.english;
}

}  // namespace tessaly
