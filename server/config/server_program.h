#pragma once

#include <string>
#include <vector>

#include "server/engine/command_line.h"
#include "server/engine/server_application.h"

namespace platform {
class RegistryHive;
}

namespace server {

class ServerFrontEnd;

// The application object's life: start-up in its fixed order, and the end, which stops every
// transfer and then saves the settings.
class ServerProgram {
  public:
    ServerProgram(platform::EventLoop& loop, const platform::Clock& clock, ServerDialogs& dialogs,
                  platform::RegistryHive& hive, ServerFrontEnd& frontEnd);
    // The application object's destruction: waiting dialogs closed, listener deleted (its
    // transfers stopped), about sheet closed, settings saved.
    ~ServerProgram();
    ServerProgram(const ServerProgram&) = delete;
    ServerProgram& operator=(const ServerProgram&) = delete;

    // True to run the loop; false to end at once (the destructor still saves the settings).
    bool InitInstance(const std::vector<std::string>& args);
    void ExitInstance();

    ServerApplication& app() { return app_; }
    const CommandLineChoices& choices() const { return choices_; }

  private:
    platform::RegistryHive& hive_;
    ServerFrontEnd& frontEnd_;
    ServerApplication app_;
    CommandLineChoices choices_;
};

}  // namespace server
