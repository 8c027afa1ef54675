#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "platform/Error.h"
#include "settings/Colors.h"

namespace tavix {

// ---- Settings store: text values under the user's settings key, read and
// written at the moment they are needed (nothing is kept in memory).

// The named value's text; empty when absent or empty. A non-text value
// raises "Type de données incorrect pour '<name>'".
QString ReadSetting(const QString& name);

// Stores the text, replacing any previous value. A refused write raises
// "Echec à la définition des données pour '<name>'".
void WriteSetting(const QString& name, const QString& value);

// Starting with the user's session: registers the executable at `path`
// (quoted), or removes the registration (absent: nothing happens).
void EnableAutostart(const QString& path);
void DisableAutostart();

// ---- Configuration flags, the bits of the "config" setting.
namespace ConfigBit {
inline constexpr int NoExtraction = 1;
inline constexpr int NoListEditing = 2;
inline constexpr int StartWithWindows = 4;
inline constexpr int LockSettings = 16;
inline constexpr int LockLogEditing = 32;
inline constexpr int StayOnTop = 64;
inline constexpr int NeverMinimize = 128;
inline constexpr int UserInLog = 256;
}  // namespace ConfigBit

// "config" as a number: 0 when empty; a text that is not a whole number
// raises "'<text>' n'est pas une valeur entière correcte".
int ReadConfig();

// "absence": minutes of inactivity during a timing after which the return
// asks what to do with the time away; 10 when empty, 0 (or less) is off. A
// text that is not a whole number raises like "config".
int ReadAwayMinutes();
inline constexpr int kDefaultAwayMinutes = 10;

// These two tell whether the menu item may be shown: true when the bit is
// clear.
bool NoExtraction(int config);
bool NoListEditing(int config);
// True when the bit is set.
bool StartWithWindows(int config);
bool LockSettings(int config);
bool LockLogEditing(int config);
bool StayOnTop(int config);
bool NeverMinimize(int config);
bool UserInLog(int config);

// ---- Text helpers. Lengths and positions count characters.

// The last n characters, or the whole text when it is shorter.
QString RightChars(const QString& text, quint16 n);

// Duration as hours:minutes:seconds, hours of at least two digits
// (3661 -> "01:01:01", 360000 -> "100:00:00"). A negative count gives the
// duration of its magnitude with a leading "-".
QString SecondsToHMS(qint32 seconds);
// The same text written as ASCII at out (room for 24 bytes), for any
// 64-bit count; returns its length. No allocation: it runs once per entry.
int WriteHMS(char* out, qint64 seconds);

// French day name, 1 = "Dimanche" ... 7 = "Samedi"; empty for other numbers.
QString DayName(quint16 day);

// "25/12/2009" -> "12/25/2009"; fields after the third are dropped. Fewer
// than three fields raise "Indice de liste hors limites (<index>)".
QString SwapDayMonth(const QString& date);

// Every '"' replaced by '\''.
QString DoubleToSingleQuotes(const QString& text);

// The text cut at every occurrence of the separator and at every line break
// (CR, LF or CR LF). Empty items are kept, except after a final separator or
// line break; an empty text gives no item.
QStringList SplitToList(const QString& text, const QString& separator);

// The larger of n and the text's length.
qint32 MaxLength(qint32 n, const QString& text);

}  // namespace tavix
