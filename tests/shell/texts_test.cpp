// Every German text of the program, byte by byte in Latin-1, as it stands in
// the program file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace
{

std::string programBytes()
{
    std::ifstream in(RW_TAP_FILE, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Builds a text from ASCII pieces and single Latin-1 bytes, so that the
// expectation does not depend on how the program's sources escape them.
std::string latin1(std::initializer_list<std::string> pieces)
{
    std::string out;
    for (const auto &p : pieces)
        out += p;
    return out;
}

const std::string Oe(1, '\xD6'), oe(1, '\xF6'), ae(1, '\xE4'), ue(1, '\xFC');

TEST(GermanTexts, AreInTheProgramWithTheirTerminator)
{
    const std::string program = programBytes();
    ASSERT_FALSE(program.empty());
    const std::string texts[] = {
        latin1({"Fehler beim ", Oe, "ffnen der konfigurationsdatei"}),
        "Fehler in der konfigurationsdatei",
        latin1({"Fehler beim ", Oe, "ffnen des Adressbuches"}),
        "Fehler im Adressbuch",
        latin1({"Nicht genug Speicher f", ue, "r alle Adressbucheintr", ae, "ge verf", ue, "gbar"}),
        latin1({"Zu viele Eintr", ae, "ge im Adressbuch"}),
        "keine Verbindung zu Fritz Box, Tap wird beendet",
        latin1({"Kann IP Adresse von Fritz Box nicht aufl", oe, "sen"}),
        "Verbindung zu Fritz Box unterbrochen",
        "Ringwatcher Fehler",
        latin1({"Eingehender Anruf f", ue, "r %s"}),
        latin1({"Ausgehendes Gespr", ae, "ch von: %s"}),
        "Verbindung auf Leitung %d",
        "Verbindung auf Leitung %d beendet",
        "Anrufliste",
        "Telefonbuch",
    };
    for (const auto &text : texts)
        EXPECT_NE(program.find(text + '\0'), std::string::npos) << text;
}

} // namespace
