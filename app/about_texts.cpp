#include "app/about_texts.h"

#include "app/build_info.h"

#include <QStringList>

namespace {

const QString kLineBreak = QStringLiteral("\r\n");

} // namespace

QString helpText() {
    // Line 4 has no full stop, and line 6 breaks mid-sentence into line 7:
    // the box has always shown them so.
    const QStringList lines{
        QStringLiteral("The first RADIO buttons near the top right decide to add score, cash, or "
                       "set a switch for kills."),
        QStringLiteral("The CHECK boxes indicate which player the trigger is for."),
        QStringLiteral("The first box is for every x kills the trigger fires."),
        QStringLiteral("In the box right below that you enter the maximum for the trigger to fire"),
        QStringLiteral("In the lowest box you input a number representing a unit or group you get "
                       "from the large BLUE box."),
        QStringLiteral("The first box in the action section will mean either ore amount, score, or "
                       "switch number as labeled according to"),
        QStringLiteral("your choice on the first radio button set."),
        QStringLiteral("The second box is the gas to add if it is there."),
        QStringLiteral(
            "The RADIO buttons after that are for what type of score if they are visible."),
        QStringLiteral("The CREATE button will make the trigger if not grayed."),
        QStringLiteral("Last, but not least the QUIT button will exit the program."),
    };
    return lines.join(kLineBreak);
}

QString aboutText(const QString& webAddress, const QString& contactAddress) {
    const QStringList lines{
        QStringLiteral("Tallyforge V") + builtVersion(),
        QString(),
        QStringLiteral("Made by the Tallyforge authors.  Free to use and share."),
        QString(),
        QStringLiteral("For the most recent versions visit ") + webAddress,
        QString(),
        QStringLiteral("Send feedback, suggestions, bugs, hatemail, or just praise to ") +
            contactAddress + QLatin1Char('.'),
    };
    return lines.join(kLineBreak);
}

QString aboutText() {
    return aboutText(builtWebAddress(), builtContactAddress());
}

QString builtVersion() {
    return QStringLiteral(TALLYFORGE_VERSION);
}

QString builtWebAddress() {
    return QStringLiteral(TALLYFORGE_WEB_ADDRESS);
}

QString builtContactAddress() {
    return QStringLiteral(TALLYFORGE_CONTACT_ADDRESS);
}
