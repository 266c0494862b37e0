#pragma once

#include "feed/feedsettings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace kelvalog {

// "Live feed": the MQTT broker and the line-protocol database every sample
// is published to. Secrets are named by their file, never typed in.
class TLiveFeedDialog : public QDialog
{
    Q_OBJECT

public:
    TLiveFeedDialog(const TMqttSettings& Mqtt, const TInfluxSettings& Influx, QWidget* Parent);

    TMqttSettings Mqtt() const;
    TInfluxSettings Influx() const;

    QCheckBox* MqttOn = nullptr;
    QLineEdit* MqttHost = nullptr;
    QSpinBox* MqttPort = nullptr;
    QCheckBox* MqttTls = nullptr;
    QLineEdit* MqttCaFile = nullptr;
    QLineEdit* MqttUser = nullptr;
    QLineEdit* MqttPasswordFile = nullptr;
    QLineEdit* MqttClientId = nullptr;
    QCheckBox* InfluxOn = nullptr;
    QLineEdit* InfluxUrl = nullptr;
    QLineEdit* InfluxDatabase = nullptr;
    QLineEdit* InfluxTokenFile = nullptr;
};

} // namespace kelvalog
