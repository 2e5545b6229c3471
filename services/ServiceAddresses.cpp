#include "services/ServiceAddresses.h"

#include "config/IniFile.h"
#include "config/uAppConfig.h"

namespace pelidor {

namespace {

constexpr const char* kSection = "Services";

void readBase(const IniFile& ini, const char* key, std::string& base) {
    std::string value = ini.readString(kSection, key, std::string());
    while (!value.empty() && value.back() == '/')
        value.pop_back();
    if (!value.empty())
        base = value;
}

} // namespace

TServiceAddresses ReadServiceAddresses(const std::string& ConfigFile) {
    TServiceAddresses result;
    if (ConfigFile.empty())
        return result;
    const IniFile ini(ConfigFile);
    readBase(ini, "WebSite", result.WebSite);
    readBase(ini, "JapanSite", result.JapanSite);
    readBase(ini, "News", result.News);
    readBase(ini, "Statistics", result.Statistics);
    readBase(ini, "Feedback", result.Feedback);
    return result;
}

TServiceAddresses ServiceAddresses() {
    return ReadServiceAddresses(AppConfig.ConfigFile);
}

std::string UpdateCheckUrl(const TServiceAddresses& Addresses, bool Japanese) {
    return Japanese ? Addresses.JapanSite + "/software_update/getinfo.php?upro_id=2"
                    : Addresses.WebSite + "/software_update/getinfo.php?p_id=2";
}

std::string NewsUrl(const TServiceAddresses& Addresses, int Pid) {
    return Addresses.News + "/messages/index.php?to=checknews&pid=" + std::to_string(Pid);
}

std::string InstallStatisticsUrl(const TServiceAddresses& Addresses) {
    return Addresses.Statistics + "/install_statistics/index.php?p=install_statistics";
}

std::string FeedbackUrl(const TServiceAddresses& Addresses, const std::string& To) {
    return Addresses.Feedback + "/corvane_feedback/index.php?to=" + To;
}

} // namespace pelidor
