#pragma once

#include <string>

namespace kelvalog {

// Where the line-protocol feed writes: the /write endpoint of InfluxDB 1.x
// (which InfluxDB 2/3, VictoriaMetrics and QuestDB also take).
struct TInfluxSettings
{
    bool Enabled = false;
    std::string Url = "http://127.0.0.1:8086";
    std::string Database = "kelvalog";
    std::string TokenFile; // the token is read from here, never kept in the settings
    std::string Token;
};

struct TMqttSettings
{
    bool Enabled = false;
    std::string Host = "127.0.0.1";
    int Port = 1883;
    bool Tls = false;
    std::string CaFile;
    std::string User;
    std::string PasswordFile; // the password is read from here
    std::string Password;
    std::string ClientId;
};

// The secret in the first line of a file, without its line end; empty when
// there is no file. Sets Error when the file cannot be read.
std::string ReadSecretFile(const std::string& Path, std::string& Error);

} // namespace kelvalog
