#include "app/livefeeddialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kelvalog {

namespace {

QLineEdit* Edit(const std::string& Text, const QString& Name, QWidget* Parent)
{
    auto* E = new QLineEdit(QString::fromStdString(Text), Parent);
    E->setObjectName(Name);
    return E;
}

std::string Text(const QLineEdit* E)
{
    return E->text().trimmed().toStdString();
}

} // namespace

TLiveFeedDialog::TLiveFeedDialog(const TMqttSettings& Mqtt, const TInfluxSettings& Influx,
                                 QWidget* Parent)
    : QDialog(Parent)
{
    setWindowTitle(QStringLiteral("Live feed"));
    auto* Layout = new QVBoxLayout(this);

    auto* MqttBox = new QGroupBox(QStringLiteral("MQTT broker"), this);
    auto* MqttForm = new QFormLayout(MqttBox);
    MqttOn = new QCheckBox(QStringLiteral("Publish"), MqttBox);
    MqttOn->setObjectName(QStringLiteral("MqttOn"));
    MqttOn->setChecked(Mqtt.Enabled);
    MqttHost = Edit(Mqtt.Host, QStringLiteral("MqttHost"), MqttBox);
    MqttPort = new QSpinBox(MqttBox);
    MqttPort->setObjectName(QStringLiteral("MqttPort"));
    MqttPort->setRange(1, 65535);
    MqttPort->setValue(Mqtt.Port);
    MqttTls = new QCheckBox(QStringLiteral("TLS"), MqttBox);
    MqttTls->setObjectName(QStringLiteral("MqttTls"));
    MqttTls->setChecked(Mqtt.Tls);
    MqttCaFile = Edit(Mqtt.CaFile, QStringLiteral("MqttCaFile"), MqttBox);
    MqttUser = Edit(Mqtt.User, QStringLiteral("MqttUser"), MqttBox);
    MqttPasswordFile = Edit(Mqtt.PasswordFile, QStringLiteral("MqttPasswordFile"), MqttBox);
    MqttClientId = Edit(Mqtt.ClientId, QStringLiteral("MqttClientId"), MqttBox);
    MqttForm->addRow(MqttOn);
    MqttForm->addRow(QStringLiteral("Host:"), MqttHost);
    MqttForm->addRow(QStringLiteral("Port:"), MqttPort);
    MqttForm->addRow(MqttTls);
    MqttForm->addRow(QStringLiteral("CA file:"), MqttCaFile);
    MqttForm->addRow(QStringLiteral("User:"), MqttUser);
    MqttForm->addRow(QStringLiteral("Password file:"), MqttPasswordFile);
    MqttForm->addRow(QStringLiteral("Client id:"), MqttClientId);
    Layout->addWidget(MqttBox);

    auto* InfluxBox =
        new QGroupBox(QStringLiteral("Line-protocol database (InfluxDB /write)"), this);
    auto* InfluxForm = new QFormLayout(InfluxBox);
    InfluxOn = new QCheckBox(QStringLiteral("Write"), InfluxBox);
    InfluxOn->setObjectName(QStringLiteral("InfluxOn"));
    InfluxOn->setChecked(Influx.Enabled);
    InfluxUrl = Edit(Influx.Url, QStringLiteral("InfluxUrl"), InfluxBox);
    InfluxDatabase = Edit(Influx.Database, QStringLiteral("InfluxDatabase"), InfluxBox);
    InfluxTokenFile = Edit(Influx.TokenFile, QStringLiteral("InfluxTokenFile"), InfluxBox);
    InfluxForm->addRow(InfluxOn);
    InfluxForm->addRow(QStringLiteral("URL:"), InfluxUrl);
    InfluxForm->addRow(QStringLiteral("Database or bucket:"), InfluxDatabase);
    InfluxForm->addRow(QStringLiteral("Token file:"), InfluxTokenFile);
    Layout->addWidget(InfluxBox);

    auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Layout->addWidget(Buttons);
}

TMqttSettings TLiveFeedDialog::Mqtt() const
{
    TMqttSettings S;
    S.Enabled = MqttOn->isChecked();
    S.Host = Text(MqttHost);
    S.Port = MqttPort->value();
    S.Tls = MqttTls->isChecked();
    S.CaFile = Text(MqttCaFile);
    S.User = Text(MqttUser);
    S.PasswordFile = Text(MqttPasswordFile);
    S.ClientId = Text(MqttClientId);
    return S;
}

TInfluxSettings TLiveFeedDialog::Influx() const
{
    TInfluxSettings S;
    S.Enabled = InfluxOn->isChecked();
    S.Url = Text(InfluxUrl);
    S.Database = Text(InfluxDatabase);
    S.TokenFile = Text(InfluxTokenFile);
    return S;
}

} // namespace kelvalog
