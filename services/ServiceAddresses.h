// Where the maker's web services live.
//
// The base addresses come from section [Services] of Config.ini (AppConfig.ConfigFile),
// read afresh on every call; a missing file, section or key, or an empty value, gives the
// built-in default under the reserved domain corvane.example, which never resolves, so a
// default installation contacts nobody. Keys (values are "http://host[:port][/prefix]";
// a trailing "/" is ignored):
//
//   WebSite      the maker's web site: the update service and the pages the menu opens
//                (default http://www.corvane.example)
//   JapanSite    the Japanese site, used instead of WebSite by the Japanese edition
//                (default http://jp.corvane.example)
//   News         the news service (default http://news.corvane.example)
//   Statistics   the install-statistics service (default http://stats.corvane.example)
//   Feedback     the feedback service (default http://feedback.corvane.example)
//
// Only the paths and queries appended below are fixed by the services.
#pragma once

#include <string>

namespace pelidor {

struct TServiceAddresses {
    std::string WebSite = "http://www.corvane.example";
    std::string JapanSite = "http://jp.corvane.example";
    std::string News = "http://news.corvane.example";
    std::string Statistics = "http://stats.corvane.example";
    std::string Feedback = "http://feedback.corvane.example";
};

// The addresses from the [Services] section of the INI file ConfigFile (defaults for what
// is missing). Empty ConfigFile: the defaults.
TServiceAddresses ReadServiceAddresses(const std::string& ConfigFile);
// ReadServiceAddresses(AppConfig.ConfigFile).
TServiceAddresses ServiceAddresses();

// The update service's address: "/software_update/getinfo.php?p_id=2" on the web site, or
// "?upro_id=2" on the Japanese site in the Japanese edition.
std::string UpdateCheckUrl(const TServiceAddresses& Addresses, bool Japanese);
// The news service: "/messages/index.php?to=checknews&pid=<Pid>".
std::string NewsUrl(const TServiceAddresses& Addresses, int Pid);
// The install-statistics service: "/install_statistics/index.php?p=install_statistics".
std::string InstallStatisticsUrl(const TServiceAddresses& Addresses);
// The feedback service: "/corvane_feedback/index.php?to=<To>".
std::string FeedbackUrl(const TServiceAddresses& Addresses, const std::string& To);

} // namespace pelidor
