// Label texts from the now-playing item: trimming as the platform's white-space
// set defines it, on UTF-8 decoded properly, and the artist - album line.

#include "playback/LabelText.h"
#include "support/PlayerWorld.h"

namespace {

using namespace playertest;

TEST(LabelText, TrimsWhiteSpaceAndLineBreaksAtBothEnds)
{
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {" Title ", "Title"},
        {"\t\n Title\r\n", "Title"},
        {"Two words", "Two words"},
        {"  Two  words  ", "Two  words"},
        {"", ""},
        {" \n\t ", ""},
        {"\v\fTitle\x0B", "Title"},
        {"\xC2\x85Title\xC2\xA0", "Title"},                       // U+0085, no-break space
        {"\xE3\x80\x80Wide\xE3\x80\x80", "Wide"},                 // ideographic space
        {"\xE2\x80\xA8Line\xE2\x80\xA9", "Line"},                 // line and paragraph separators
        {"\xE2\x80\x83" "Em\xE2\x80\xAF", "Em"},                  // em space, narrow no-break space
        {"\xE2\x80\x8BZero\xE2\x80\x8B", "\xE2\x80\x8BZero\xE2\x80\x8B"},  // zero-width space is no separator
        {"\xC3\xA9t\xC3\xA9 ", "\xC3\xA9t\xC3\xA9"},              // accented letters stay whole
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.in);
        EXPECT_EQ(trimmedWhitespaceAndNewlines(row.in), row.out);
    }
}

TEST(LabelText, BytesThatAreNoCharacterAreNeverTakenForSpace)
{
    struct Row {
        std::string in;
        std::string out;
    };
    const Row rows[] = {
        {"\xC0\xA0x", "\xC0\xA0x"},              // overlong form of a space
        {" \xFF ", "\xFF"},                      // a lone bad byte between spaces
        {"x \xE3\x80", "x \xE3\x80"},            // a truncated ideographic space
        {"\xED\xA0\x80 ", "\xED\xA0\x80"},       // an encoded surrogate
        {"x\xC2", "x\xC2"},                      // a lead byte at the very end
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.in));
        EXPECT_EQ(trimmedWhitespaceAndNewlines(row.in), row.out);
    }
}

TEST(LabelText, ArtistAndAlbumAreJoinedOnlyWhenBothArePresent)
{
    EXPECT_EQ(artistAlbumLine("Alpha", "Beta"), "Alpha - Beta");
    EXPECT_EQ(artistAlbumLine("Alpha", ""), "Alpha");
    EXPECT_EQ(artistAlbumLine("", "Beta"), "Beta");
    EXPECT_EQ(artistAlbumLine("", ""), "");
}

class NowPlayingLabels : public PlayerWorld {
protected:
    void SetUp() override { controller.view(); }
    void show(const ItemSpec& item)
    {
        player.setNowPlayingItem(makeItem(item), Notify::No);
        controller.setLabelStrings();
    }
};

TEST_F(NowPlayingLabels, FilledFromTheNowPlayingItem)
{
    struct Row {
        const char* what;
        ItemSpec item;
        const char* title;
        const char* artistAlbum;
    };
    const Row rows[] = {
        {"all present", {"Song", "Alpha", "Beta"}, "Song", "Alpha - Beta"},
        {"title absent", {std::nullopt, "Alpha", "Beta"}, "", "Alpha - Beta"},
        {"artist of spaces and breaks", {"Song", " \n ", "Beta"}, "Song", "Beta"},
        {"album absent", {"Song", "Alpha", std::nullopt}, "Song", "Alpha"},
        {"padded values", {" Two words ", "\tAlpha ", " Beta\n"}, "Two words", "Alpha - Beta"},
        {"nothing but the item", {}, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        show(row.item);
        EXPECT_EQ(controller.currentTitleLabel->text(), row.title);
        EXPECT_EQ(controller.currentArtistAlbumLabel->text(), row.artistAlbum);
        controller.setLabelStrings();   // the same item gives the same texts
        EXPECT_EQ(controller.currentTitleLabel->text(), row.title);
    }
}

TEST_F(NowPlayingLabels, NoItemEmptiesBothLabels)
{
    show({"Song", "Alpha", "Beta"});
    player.setNowPlayingItem(nullptr, Notify::No);
    controller.setLabelStrings();
    EXPECT_EQ(controller.currentTitleLabel->text(), "");
    EXPECT_EQ(controller.currentArtistAlbumLabel->text(), "");
}

TEST_F(NowPlayingLabels, BadBytesShowAsReplacementCharacters)
{
    show({"Caf\xE9 ", "\xC0\xA0" "Alpha", "Beta\xFF"});
    EXPECT_EQ(controller.currentTitleLabel->text(), "Caf\xEF\xBF\xBD");
    EXPECT_EQ(controller.currentArtistAlbumLabel->text(), "\xEF\xBF\xBD\xEF\xBF\xBD" "Alpha - Beta\xEF\xBF\xBD");
}

} // namespace
