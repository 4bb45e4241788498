// Message sinks.
#include <gtest/gtest.h>

#include "core/Errors.h"
#include "core/Messages.h"

namespace {

// The parts as "[name]" and "text" pieces, for comparing.
std::string Marked(const std::string& text, const std::vector<std::string>& names)
{
    std::string out;
    for (const TMessagePart& p : MessageParts(text, names)) out += p.IsName ? "[" + p.Bytes + "]" : p.Bytes;
    return out;
}

TEST(Messages, FileNamesTravelAsTheirOwnBytes)
{
    const std::string u = "Messung_\xC3\xBC.int";  // UTF-8, as the file system has it
    const std::string dir = "/tmp/\xC3\xA4/";
    struct Case {
        std::string Text;
        std::vector<std::string> Names;
        std::string Expected;
    } cases[] = {
        {"File " + u + " not found!", {u}, "File [" + u + "] not found!"},
        {"no name \xB5m", {u}, "no name \xB5m"},
        {u + " and " + u, {u}, "[" + u + "] and [" + u + "]"},
        // a path wins over the name inside it
        {"Cannot open file " + dir + u + ": gone", {u, dir + u}, "Cannot open file [" + dir + u + "]: gone"},
        {"x", {""}, "x"},
        {"", {u}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Marked(c.Text, c.Names), c.Expected) << c.Text;

    TRecordingSink sink;
    TScopedMessageSink scope(&sink);
    // a failure names its file where it has one
    ShowFailure(EInOutError("Cannot read file " + dir + u, dir + u), "Load");
    ShowFailure(EConvertError("'x' is not a valid integer value"));
    ASSERT_EQ(sink.Shown.size(), 2u);
    EXPECT_EQ(sink.Shown[0].Names, std::vector<std::string>{dir + u});
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);
    EXPECT_EQ(sink.Shown[0].Title, "Load");
    EXPECT_TRUE(sink.Shown[1].Names.empty());
}

TEST(Messages, RecordingSinkKeepsEveryMessageInOrder)
{
    TRecordingSink sink;
    TScopedMessageSink scope(&sink);
    EXPECT_EQ(ShowMessage("Picture too small!"), TMsgResult::OK);
    ShowMessage("Error during loading!", TMsgKind::Error, TMsgButtons::OK, "Load");
    Beep();
    Beep();
    ASSERT_EQ(sink.Texts(), (std::vector<std::string>{"Picture too small!", "Error during loading!"}));
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    EXPECT_FALSE(sink.Shown[0].Placed);
    EXPECT_EQ(sink.Shown[1].Kind, TMsgKind::Error);
    EXPECT_EQ(sink.Shown[1].Title, "Load");
    EXPECT_EQ(sink.Beeps, 2);
    sink.Clear();
    EXPECT_TRUE(sink.Shown.empty());
    EXPECT_EQ(sink.Beeps, 0);
}

TEST(Messages, QuestionsTakeQueuedAnswersThenTheDefault)
{
    TRecordingSink sink;
    TScopedMessageSink scope(&sink);
    sink.Answers = {TMsgResult::No, TMsgResult::Cancel};
    EXPECT_EQ(ShowMessage("a", TMsgKind::Information), TMsgResult::OK);  // an OK box takes no answer
    EXPECT_EQ(ShowMessage("q1", TMsgKind::Confirmation, TMsgButtons::YesNo), TMsgResult::No);
    EXPECT_EQ(ShowMessage("q2", TMsgKind::Confirmation, TMsgButtons::YesNoCancel), TMsgResult::Cancel);
    EXPECT_TRUE(sink.Answers.empty());
    // queue empty, default OK: questions are answered Yes
    EXPECT_EQ(ShowMessage("q3", TMsgKind::Confirmation, TMsgButtons::YesNo), TMsgResult::Yes);
    EXPECT_EQ(ShowMessage("q4", TMsgKind::Confirmation, TMsgButtons::YesNoCancel), TMsgResult::Yes);
    EXPECT_EQ(ShowMessage("q5", TMsgKind::Warning, TMsgButtons::OKCancel), TMsgResult::OK);
    sink.DefaultAnswer = TMsgResult::No;
    EXPECT_EQ(ShowMessage("q6", TMsgKind::Confirmation, TMsgButtons::YesNo), TMsgResult::No);
    EXPECT_EQ(sink.Shown.size(), 7u);
}

TEST(Messages, PlacedMessageCarriesItsHelpTopic)
{
    TRecordingSink sink;
    TScopedMessageSink scope(&sink);
    ShowMessageAt("Reading channel", TMsgKind::Information, TMsgButtons::OKCancel, 42);
    ASSERT_EQ(sink.Shown.size(), 1u);
    EXPECT_TRUE(sink.Shown[0].Placed);
    EXPECT_EQ(sink.Shown[0].HelpTopic, 42);
    EXPECT_EQ(sink.Shown[0].Buttons, TMsgButtons::OKCancel);
}

TEST(Messages, ScopedSinksNestAndRestore)
{
    TMessageSink* const before = &MessageSink();
    TRecordingSink outer, inner;
    {
        TScopedMessageSink a(&outer);
        EXPECT_EQ(&MessageSink(), &outer);
        {
            TScopedMessageSink b(&inner);
            ShowMessage("inner");
        }
        ShowMessage("outer");
    }
    EXPECT_EQ(&MessageSink(), before);
    EXPECT_EQ(inner.Texts(), std::vector<std::string>{"inner"});
    EXPECT_EQ(outer.Texts(), std::vector<std::string>{"outer"});
}

TEST(Messages, DefaultSinkWritesToStderrAndAnswers)
{
    SetMessageSink(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessage("No Pixel in X found!\r\nLoad aborted"), TMsgResult::OK);
    EXPECT_EQ(ShowMessage("Overwrite?", TMsgKind::Confirmation, TMsgButtons::YesNo), TMsgResult::Yes);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "No Pixel in X found!\nLoad aborted\nOverwrite?\n");

    TStderrSink no;
    no.Question = TMsgResult::No;
    SetMessageSink(&no);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessage("Overwrite?", TMsgKind::Confirmation, TMsgButtons::YesNoCancel), TMsgResult::No);
    testing::internal::GetCapturedStderr();
    SetMessageSink(nullptr);
}

}  // namespace
