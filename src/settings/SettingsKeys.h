#pragma once
// Every key of the settings section, spelled exactly as the settings file, the options dialog and
// earlier versions of Tidewick store it. This is the only place a key is spelled; everything else
// names the constant.

#include <QLatin1String>
#include <QString>

namespace tidewick::settings::keys {

// The version that last ran; a different one drops the settings that no longer fit.
constexpr QLatin1String Version("VER");

// On/off switches, "0" or "1" (see Switches.h for how they are read).
constexpr QLatin1String AddToStartup("ADD TO STARTUP");
constexpr QLatin1String SaveWindowPosition("SAVE WINDOW POSITION");
constexpr QLatin1String SaveWindowSize("SAVE WINDOW SIZE");
constexpr QLatin1String ShowConnectionOnStartup("SHOW CONNECTION ON STARTUP");
constexpr QLatin1String DirSyncByFileSize("DIR SYNC BY FILE SIZE");

// Passive mode, "0" or "1"; read by ConnectionSettings only.
constexpr QLatin1String FtpPasv("FTP PASV");

// The log file: its name below Log/ of the Tidewick home, and when it is deleted at start-up. The
// two delete rules are stored as "True" or "False"; the size is in kilobytes of 1000 bytes.
constexpr QLatin1String LogFileName("LOG FILE NAME");
constexpr QLatin1String DeleteLogOnStartup("DELETE LOG ON STARTUP");
constexpr QLatin1String DeleteLogIfTooLarge("DELETE LOG IF SIZE EXCEEDS");
constexpr QLatin1String LogFileSize("LOG FILE SIZE");

// The firewall (SOCKS proxy); read by ConnectionSettings only. The type is the text "SOCKS 4" or
// "SOCKS 5"; the password is stored as typed.
constexpr QLatin1String FirewallUse("Firewall Use");
constexpr QLatin1String FirewallType("Firewall Type");
constexpr QLatin1String FirewallHostName("Firewall Host Name");
constexpr QLatin1String FirewallProxyPort("Firewall Proxy Port");
constexpr QLatin1String FirewallUserName("Firewall User Name");
constexpr QLatin1String FirewallPassword("Firewall Password");
constexpr QLatin1String FirewallTypeSocks4("SOCKS 4");
constexpr QLatin1String FirewallTypeSocks5("SOCKS 5");

// Whether transferred files keep their modification times: on unless stored as "0" (or "False").
// Read by ConnectionSettings only.
constexpr QLatin1String KeepFileDates("Keep File Dates");

// Where the maker is found. Not in the options dialog: an administrator or a test points them
// elsewhere in the settings file; a missing or empty value means the default beside it.
// The FTP server holding the version file the upgrade check reads, and its port.
constexpr QLatin1String UpdateHost("UPDATE HOST");
constexpr QLatin1String UpdatePort("UPDATE PORT");
inline constexpr const char* DefaultUpdateHost = "ftp.tidewick.org";
inline constexpr const char* DefaultUpdatePort = "21";
// The product's home page (the upgrade check's "Visit Site", Help › "Visit Tidewick website", the
// about box) and its online help page (Help › "Get online help", the about box).
constexpr QLatin1String WebAddress("WEB ADDRESS");
constexpr QLatin1String OnlineHelpAddress("ONLINE HELP ADDRESS");
inline constexpr const char* DefaultWebAddress = "https://www.tidewick.org/";
inline constexpr const char* DefaultOnlineHelpAddress = "https://www.tidewick.org/help/";

// Window placement: a window's prefix followed by one of the four edges, in twips.
namespace placement {
constexpr QLatin1String Main("MAIN");
constexpr QLatin1String ConnectionInfo("CONNECTION INFO");
constexpr QLatin1String Exist("EXIST");
constexpr QLatin1String LogWindow("LOG WINDOW");
constexpr QLatin1String Options("OPTIONS");
constexpr QLatin1String Queue("QUE");
constexpr QLatin1String RemoteChangeMode("REMOTE CHANGE MODE");
constexpr QLatin1String LiveUpdate("LIVE UPDATE");
constexpr QLatin1String Tips("TIPS");
constexpr QLatin1String License("LICENSE");
constexpr QLatin1String About("ABOUT");
constexpr QLatin1String Splash("SPLASH");

constexpr QLatin1String Top(" TOP");
constexpr QLatin1String Left(" LEFT");
constexpr QLatin1String Height(" HEIGHT");
constexpr QLatin1String Width(" WIDTH");
} // namespace placement

// The start-up entry lives apart from the settings section, under this value name.
constexpr QLatin1String StartupEntry("TIDEWICK");

// A site profile file: one section, these keys.
namespace profile {
constexpr QLatin1String Section("PROFILE");
constexpr QLatin1String SiteName("sname");
constexpr QLatin1String Host("adresa");
constexpr QLatin1String User("ID");
constexpr QLatin1String Password("pass");
constexpr QLatin1String Port("port");
constexpr QLatin1String Security("security");
} // namespace profile

// Whether the tip of the day shows at start: a file of its own in the program folder.
namespace tips {
constexpr QLatin1String File("Ini/Settings.ini");
constexpr QLatin1String Section("TipSettings");
constexpr QLatin1String Report("Report");
} // namespace tips

// A queue file: one section, its row count, and a key "ROW<i>.<j>" for each cell.
namespace queue {
constexpr QLatin1String Section("LISTQUE");
constexpr QLatin1String Count("LISTCOUNT");
constexpr QLatin1String RowPrefix("ROW");
} // namespace queue

// The trusted-certificates file of the Tidewick home: a section "host:port" each, these keys.
namespace trust {
constexpr QLatin1String File("trusted-certificates");
constexpr QLatin1String Sha256("sha256");
constexpr QLatin1String Subject("subject");
constexpr QLatin1String ValidUntil("valid until");
} // namespace trust

} // namespace tidewick::settings::keys
