// Prints the manual page vandel-settings(5), generated from the settings field table. The committed
// page (packaging/man/vandel-settings.5) is its output; the test settings_man_page checks that the two
// agree, and regenerating the page is: build/bin/settings_man > packaging/man/vandel-settings.5
#include <cstdio>

#include "settings/SettingsText.h"

int main() {
    const std::string page = SettingsManPage();
    return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() && std::fflush(stdout) == 0 ? 0
                                                                                                       : 1;
}
