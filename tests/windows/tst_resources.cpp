// Reads the compiled Windows resources of the programs (windres output, .res format) and checks
// the file icon, the manifest and the version information that the executables will carry.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QVector>
#include <QXmlStreamReader>
#include <QtEndian>
#include <QtTest>

#include <algorithm>

namespace {

constexpr quint16 kIconType = 3;
constexpr quint16 kIconGroupType = 14;
constexpr quint16 kVersionType = 16;
constexpr quint16 kManifestType = 24;

// A resource type or name: a number, or else a text.
struct ResourceId {
    bool isNumber = false;
    quint16 number = 0;
    QString text;
};

struct Resource {
    ResourceId type;
    ResourceId name;
    QByteArray data;
};

quint16 U16(const QByteArray& bytes, qint64 at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 U32(const QByteArray& bytes, qint64 at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

qint64 Align4(qint64 at)
{
    return (at + 3) & ~qint64(3);
}

// Reads a type or name at `at`, which it moves past it; false when it runs past `end`.
bool ReadId(const QByteArray& bytes, qint64& at, qint64 end, ResourceId& id)
{
    if (at + 2 > end)
        return false;
    if (U16(bytes, at) == 0xFFFF) {
        if (at + 4 > end)
            return false;
        id.isNumber = true;
        id.number = U16(bytes, at + 2);
        at += 4;
        return true;
    }
    for (; at + 2 <= end; at += 2) {
        const quint16 unit = U16(bytes, at);
        if (unit == 0) {
            at += 2;
            return true;
        }
        id.text += QChar(unit);
    }
    return false;
}

// Splits a .res file into its resources; returns what is wrong with it, or an empty text.
QString ReadResources(const QByteArray& bytes, QVector<Resource>& resources)
{
    const qint64 size = bytes.size();
    qint64 at = 0;
    while (at < size) {
        if (size - at < 8)
            return QStringLiteral("truncated header at %1").arg(at);
        const qint64 dataSize = U32(bytes, at);
        const qint64 headerEnd = at + qint64(U32(bytes, at + 4));
        if (headerEnd > size || headerEnd + dataSize > size)
            return QStringLiteral("entry at %1 runs past the end of the file").arg(at);

        Resource resource;
        qint64 field = at + 8;
        if (!ReadId(bytes, field, headerEnd, resource.type)
            || !ReadId(bytes, field, headerEnd, resource.name))
            return QStringLiteral("unreadable type or name at %1").arg(at);
        // Data version, memory flags, language, version and characteristics follow.
        if (Align4(field) + 16 > headerEnd)
            return QStringLiteral("header at %1 too short").arg(at);
        resource.data = bytes.mid(int(headerEnd), int(dataSize));

        // The file opens with an empty entry that only marks the format.
        const bool marker = resource.type.isNumber && resource.type.number == 0 && dataSize == 0;
        if (!marker)
            resources.append(resource);
        at = Align4(headerEnd + dataSize);
    }
    return QString();
}

QVector<Resource> OfType(const QVector<Resource>& resources, quint16 type)
{
    QVector<Resource> found;
    for (const Resource& resource : resources) {
        if (resource.type.isNumber && resource.type.number == type)
            found.append(resource);
    }
    return found;
}

// The bytes of the one image of an icon file; empty when the file is not such an icon.
QByteArray OnlyIconImage(const QByteArray& ico)
{
    if (ico.size() < 6 + 16 || U16(ico, 0) != 0 || U16(ico, 2) != 1 || U16(ico, 4) != 1)
        return QByteArray();
    const qint64 length = U32(ico, 6 + 8);
    const qint64 offset = U32(ico, 6 + 12);
    if (offset + length > ico.size())
        return QByteArray();
    return ico.mid(int(offset), int(length));
}

// A node of a version resource: a key, a value (UTF-16 text or bytes) and the nodes below it.
struct VersionNode {
    QString key;
    QByteArray value;
    QString text;
    QVector<VersionNode> children;

    const VersionNode* Child(const QString& childKey) const
    {
        for (const VersionNode& child : children) {
            if (child.key == childKey)
                return &child;
        }
        return nullptr;
    }
};

// Reads the node at `at`: length, value length (in characters for text), type (1 is text), key,
// value and children, each aligned to four bytes. False when it is malformed.
bool ReadVersionNode(const QByteArray& bytes, qint64 at, VersionNode& node)
{
    if (at + 6 > bytes.size())
        return false;
    const qint64 end = at + U16(bytes, at);
    const bool isText = U16(bytes, at + 4) == 1;
    const qint64 valueSize = U16(bytes, at + 2) * (isText ? 2 : 1);
    ResourceId key;
    qint64 field = at + 6;
    if (end < field || end > bytes.size() || !ReadId(bytes, field, end, key) || key.isNumber)
        return false;
    node.key = key.text;
    field = Align4(field);
    if (field + valueSize > end)
        return false;
    node.value = bytes.mid(int(field), int(valueSize));
    if (isText) {
        node.text = QString::fromUtf16(reinterpret_cast<const char16_t*>(node.value.constData()),
                                       int(valueSize / 2));
        while (node.text.endsWith(QChar(0)))
            node.text.chop(1);
    }
    for (field = Align4(field + valueSize); field < end;) {
        node.children.append(VersionNode());
        if (!ReadVersionNode(bytes, field, node.children.last()))
            return false;
        field = Align4(field + U16(bytes, field));
    }
    return true;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestWindowsResources : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void carriesIconManifestAndVersion();
    void versionInformation_data();
    void versionInformation();
    void fileIconIsGroup101WithTheIconImage();
    void manifestRequestsInvokerLevel_data();
    void manifestRequestsInvokerLevel();
    void manifestDeclaresWindows10AndPerMonitorDpi();

private:
    QVector<Resource> resources;
    QByteArray manifest;
};

void TestWindowsResources::initTestCase()
{
    const QByteArray bytes = ReadFile(QStringLiteral(RESOURCES_DIR "/colvane.res"));
    QVERIFY2(!bytes.isEmpty(), "the compiled resources are missing or empty");
    const QString error = ReadResources(bytes, resources);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const QVector<Resource> manifests = OfType(resources, kManifestType);
    QCOMPARE(int(manifests.size()), 1);
    // Id 1 is the manifest Windows reads when it starts an executable.
    QVERIFY(manifests[0].name.isNumber);
    QCOMPARE(manifests[0].name.number, quint16(1));
    manifest = manifests[0].data;
}

void TestWindowsResources::carriesIconManifestAndVersion()
{
    QList<int> types;
    for (const Resource& resource : resources) {
        QVERIFY2(resource.type.isNumber, qPrintable(resource.type.text));
        if (!types.contains(resource.type.number))
            types.append(resource.type.number);
    }
    std::sort(types.begin(), types.end());
    QCOMPARE(types, (QList<int>{kIconType, kIconGroupType, kVersionType, kManifestType}));
}

void TestWindowsResources::versionInformation_data()
{
    const QString publisher = QStringLiteral(MAINTAINER).section(QStringLiteral(" <"), 0, 0);
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("company");
    QTest::newRow("colvane") << QStringLiteral("colvane")
                             << QStringLiteral("Lunvo快递单号批量查询")
                             << QStringLiteral("Lunvo Batch Parcel Tracking") << publisher;
    QTest::newRow("tracking-site") << QStringLiteral("tracking-site")
                                   << QStringLiteral("演示用快递查询网站")
                                   << QStringLiteral("Demo parcel-tracking site") << publisher;
    QTest::newRow("quoted publisher") << QStringLiteral("quoting") << QStringLiteral("引号")
                                      << QStringLiteral("Quotes")
                                      << QStringLiteral("Zhang \"San\" \\n Co /*");
}

void TestWindowsResources::versionInformation()
{
    QFETCH(QString, program);
    QFETCH(QString, chinese);
    QFETCH(QString, english);
    QFETCH(QString, company);

    QVector<Resource> all;
    const QString error =
        ReadResources(ReadFile(QStringLiteral(RESOURCES_DIR "/%1.res").arg(program)), all);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QVector<Resource> versions = OfType(all, kVersionType);
    QCOMPARE(int(versions.size()), 1);
    QVERIFY(versions[0].name.isNumber && versions[0].name.number == 1);
    VersionNode root;
    QVERIFY2(ReadVersionNode(versions[0].data, 0, root), "malformed version resource");
    QCOMPARE(root.key, QStringLiteral("VS_VERSION_INFO"));

    // The fixed part: signature, file and product versions of four numbers, type application.
    const QString version =
        QStringLiteral(PROJECT_VERSION ".0.0.0").section(QLatin1Char('.'), 0, 3);
    const QByteArray& fixed = root.value;
    const auto numbers = [&fixed](int at) {
        return QStringLiteral("%1.%2.%3.%4").arg(U16(fixed, at + 2)).arg(U16(fixed, at))
            .arg(U16(fixed, at + 6)).arg(U16(fixed, at + 4));
    };
    QCOMPARE(int(fixed.size()), 52);
    QCOMPARE(U32(fixed, 0), quint32(0xFEEF04BD));
    QCOMPARE(numbers(8), version);
    QCOMPARE(numbers(16), version);
    QCOMPARE(U32(fixed, 36), quint32(1));

    // Both blocks, each listed in the translations: Chinese and US English, in UTF-16.
    const VersionNode* translation = nullptr;
    if (const VersionNode* variables = root.Child(QStringLiteral("VarFileInfo")))
        translation = variables->Child(QStringLiteral("Translation"));
    QVERIFY(translation);
    QCOMPARE(translation->value, QByteArray("\x04\x08\xb0\x04\x09\x04\xb0\x04", 8));
    const VersionNode* strings = root.Child(QStringLiteral("StringFileInfo"));
    QVERIFY(strings);
    QCOMPARE(int(strings->children.size()), 2);
    const QStringList blocks{QStringLiteral("080404b0"), QStringLiteral("040904b0")};
    const QStringList descriptions{chinese, english};
    const QStringList copyrights{
        QStringLiteral("版权所有 © " COPYRIGHT "，保留所有权利。"),
        QStringLiteral("Copyright © " COPYRIGHT ". All rights reserved.")};
    for (int i = 0; i < blocks.size(); ++i) {
        const VersionNode* table = strings->Child(blocks[i]);
        QVERIFY2(table, qPrintable(blocks[i]));
        QStringList values;
        for (const VersionNode& value : table->children)
            values.append(value.key + QLatin1Char('=') + value.text);
        values.sort();
        const QStringList expected{QStringLiteral("CompanyName=") + company,
                                   QStringLiteral("FileDescription=") + descriptions[i],
                                   QStringLiteral("FileVersion=") + version,
                                   QStringLiteral("InternalName=") + program,
                                   QStringLiteral("LegalCopyright=") + copyrights[i],
                                   QStringLiteral("OriginalFilename=%1.exe").arg(program),
                                   QStringLiteral("ProductName=Colvane"),
                                   QStringLiteral("ProductVersion=") + version};
        QCOMPARE(values, expected);
    }
}

void TestWindowsResources::fileIconIsGroup101WithTheIconImage()
{
    const QVector<Resource> groups = OfType(resources, kIconGroupType);
    QCOMPARE(int(groups.size()), 1);
    QVERIFY(groups[0].name.isNumber);
    QCOMPARE(groups[0].name.number, quint16(101));

    // The group directory: reserved, type 1 (icon), count, then one 14-byte entry per image.
    const QByteArray& group = groups[0].data;
    QCOMPARE(int(group.size()), 6 + 14);
    QCOMPARE(U16(group, 0), quint16(0));
    QCOMPARE(U16(group, 2), quint16(1));
    QCOMPARE(U16(group, 4), quint16(1));
    QCOMPARE(quint8(group[6]), quint8(64));
    QCOMPARE(quint8(group[7]), quint8(62));
    QCOMPARE(U16(group, 6 + 6), quint16(32));
    const quint32 imageSize = U32(group, 6 + 8);
    const quint16 imageId = U16(group, 6 + 12);

    QByteArray image;
    for (const Resource& icon : OfType(resources, kIconType)) {
        if (icon.name.isNumber && icon.name.number == imageId)
            image = icon.data;
    }
    QCOMPARE(quint32(image.size()), imageSize);
    const QByteArray expected = OnlyIconImage(ReadFile(QStringLiteral(ICON_FILE)));
    QVERIFY2(!expected.isEmpty(), "exe.ico is not an icon file with one image");
    QVERIFY(image == expected);

    // A PNG-stored image: 64 x 62, 8 bits per channel, RGBA.
    QVERIFY(image.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(image.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(qFromBigEndian<quint32>(image.constData() + 16), quint32(64));
    QCOMPARE(qFromBigEndian<quint32>(image.constData() + 20), quint32(62));
    QCOMPARE(int(image[24]), 8);
    QCOMPARE(int(image[25]), 6);
}

void TestWindowsResources::manifestRequestsInvokerLevel_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("value");
    QTest::newRow("level") << QStringLiteral("level") << QStringLiteral("asInvoker");
    QTest::newRow("uiAccess") << QStringLiteral("uiAccess") << QStringLiteral("false");
}

void TestWindowsResources::manifestRequestsInvokerLevel()
{
    QFETCH(QString, attribute);
    QFETCH(QString, value);

    QXmlStreamReader xml(manifest);
    QStringList found;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement
            && xml.name() == QLatin1String("requestedExecutionLevel"))
            found.append(xml.attributes().value(attribute).toString());
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(found, QStringList{value});
}

void TestWindowsResources::manifestDeclaresWindows10AndPerMonitorDpi()
{
    QXmlStreamReader xml(manifest);
    QStringList supportedOs;
    QString dpiAware;
    QString dpiAwareness;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("supportedOS"))
            supportedOs.append(xml.attributes().value(QStringLiteral("Id")).toString());
        else if (xml.name() == QLatin1String("dpiAware"))
            dpiAware = xml.readElementText();
        else if (xml.name() == QLatin1String("dpiAwareness"))
            dpiAwareness = xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(supportedOs, QStringList{QStringLiteral("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")});
    // Windows 10 reads dpiAwareness, older systems dpiAware.
    QCOMPARE(dpiAwareness.section(QLatin1Char(','), 0, 0).trimmed(),
             QStringLiteral("PerMonitorV2"));
    QCOMPARE(dpiAware, QStringLiteral("true/pm"));
}

QTEST_GUILESS_MAIN(TestWindowsResources)
#include "tst_resources.moc"
