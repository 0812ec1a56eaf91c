// TMAPIMail over a double of the entry points, for what the real xdg-email cannot show: the
// flags, the logon to a default profile and its refusal, and the records handed over.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "mail/SendMail.h"
#include "platform/registry/registry.h"
#include "tests/unit/mail_test_support.h"

using namespace platform::mapi;
using mail::TMAPIMail;
namespace reg = platform::registry;

namespace {

struct SeenRecipient {
    ULONG recipClass;
    std::optional<std::string> name, address;
    std::vector<unsigned char> entryId = {};
    bool operator==(const SeenRecipient&) const = default;
};

std::optional<std::string> Text(const char* text) {
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

// Records every call and a copy of the message as it was during the send.
class RecordingMapi : public EntryPoints {
public:
    ULONG logonResult = SUCCESS_SUCCESS;
    // Answers of MAPIResolveName without and with MAPI_DIALOG.
    ULONG resolveResult = SUCCESS_SUCCESS, resolveDialogResult = SUCCESS_SUCCESS;

    std::vector<std::string> calls;
    std::optional<std::string> profile;
    FLAGS logonFlags = 0, sendFlags = 0;
    LHANDLE loggedOff = 0;
    MapiMessage message{};
    std::optional<std::string> subject, body;
    std::optional<SeenRecipient> sender;
    std::vector<SeenRecipient> recipients;
    std::vector<std::pair<std::string, std::string>> files;  // path, shown name
    std::vector<ULONG> positions;

    ULONG MAPILogon(ULONG, const char* name, const char*, FLAGS flags, ULONG,
                    LHANDLE* session) override {
        calls.push_back("logon");
        profile = Text(name);
        logonFlags = flags;
        *session = kSession;
        return logonResult;
    }
    ULONG MAPILogoff(LHANDLE session, ULONG, FLAGS, ULONG) override {
        calls.push_back("logoff");
        loggedOff = session;
        return MAPI_E_FAILURE;  // ignored by the caller
    }
    ULONG MAPISendMail(LHANDLE, ULONG, const MapiMessage* sent, FLAGS flags, ULONG) override {
        calls.push_back("send");
        sendFlags = flags;
        message = *sent;
        subject = Text(sent->lpszSubject);
        body = Text(sent->lpszNoteText);
        if (sent->lpOriginator != nullptr) sender = Seen(*sent->lpOriginator);
        for (ULONG i = 0; i < sent->nRecipCount; ++i) recipients.push_back(Seen(sent->lpRecips[i]));
        for (ULONG i = 0; i < sent->nFileCount; ++i) {
            files.emplace_back(sent->lpFiles[i].lpszPathName, sent->lpFiles[i].lpszFileName);
            positions.push_back(sent->lpFiles[i].nPosition);
        }
        return SUCCESS_SUCCESS;
    }
    ULONG MAPIFreeBuffer(void* buffer) override {
        calls.push_back("free");
        delete static_cast<Resolved*>(buffer);
        return SUCCESS_SUCCESS;
    }
    ULONG MAPIResolveName(LHANDLE, ULONG, const char* name, FLAGS flags, ULONG,
                          MapiRecipDesc** recip) override {
        calls.push_back(flags & MAPI_DIALOG ? "resolve dialog" : "resolve");
        const ULONG result = flags & MAPI_DIALOG ? resolveDialogResult : resolveResult;
        if (result == SUCCESS_SUCCESS) {
            auto* resolved = new Resolved{{}, std::string("Resolved ") + name, {}, {7, 8, 9}};
            resolved->desc = {0,
                              MAPI_TO,
                              resolved->name.data(),
                              resolved->address.data(),
                              3,
                              resolved->id.data()};
            *recip = &resolved->desc;
        }
        return result;
    }

    static constexpr LHANDLE kSession = 0x5E55;

private:
    // The record comes first, so its address is the block's.
    struct Resolved {
        MapiRecipDesc desc;
        std::string name, address;
        std::vector<unsigned char> id;
    };
    static SeenRecipient Seen(const MapiRecipDesc& r) {
        const auto* id = static_cast<const unsigned char*>(r.lpEntryID);
        return {r.ulRecipClass, Text(r.lpszName), Text(r.lpszAddress),
                id != nullptr ? std::vector<unsigned char>(id, id + r.ulEIDSize)
                              : std::vector<unsigned char>()};
    }
};

class MailTest : public ::testing::Test {
protected:
    // The profile key with a DefaultProfile value of that type, or without the value.
    static void SetProfile(std::optional<std::string> name, reg::ValueType type = reg::REG_SZ) {
        reg::Key key;
        ASSERT_EQ(reg::Key::Create(reg::Root::CurrentUser,
                                   "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles",
                                   reg::Access::Write, key),
                  reg::Result::Ok);
        if (!name) return;
        std::vector<std::byte> data(name->size() + 1);
        std::memcpy(data.data(), name->data(), name->size());
        ASSERT_EQ(key.SetValue("DefaultProfile", type, data), reg::Result::Ok);
    }

    mail::test::TempHome home_;
    RecordingMapi mapi_;
};

TEST_F(MailTest, FlagsAndSessionFollowTheDefaultProfile) {
    struct Case {
        const char* what;
        bool keyExists;
        std::optional<std::string> profile;
        bool editDialog;
        std::vector<std::string> calls;
        FLAGS sendFlags;
    };
    const std::vector<Case> cases = {
        {"no profile, compose window", false, {}, true, {"send"}, 11},
        {"profile logs on, compose window", true, "Outlook", true, {"logon", "send", "logoff"}, 9},
        {"no profile, silent", false, {}, false, {"send"}, MAPI_LOGON_UI | MAPI_NEW_SESSION},
        {"profile key without a name", true, {}, true, {"logon", "send", "logoff"}, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mail::test::TempHome home;
        if (c.keyExists) SetProfile(c.profile);
        RecordingMapi mapi;
        TMAPIMail mail(mapi);
        mail.EditDialog = c.editDialog;
        EXPECT_TRUE(mail.Send());
        EXPECT_EQ(mapi.calls, c.calls);
        EXPECT_EQ(mapi.sendFlags, c.sendFlags);
        if (c.keyExists) {
            EXPECT_EQ(mapi.profile, c.profile.value_or(""));
            EXPECT_EQ(mapi.logonFlags, MAPI_NEW_SESSION);
            EXPECT_EQ(mapi.loggedOff, RecordingMapi::kSession);
        }
    }
}

TEST_F(MailTest, AProfileValueOfAnotherTypeCountsAsNoProfile) {
    SetProfile("Outlook", reg::REG_BINARY);
    EXPECT_EQ(TMAPIMail::DefaultProfileName(), std::nullopt);
}

TEST_F(MailTest, RecordsCarryRecipientsAttachmentsAndSender) {
    TMAPIMail mail(mapi_);
    mail.Subject = "";
    mail.Body = "Hallo";
    mail.SenderAddress = "me@example.org";
    mail.RequestReceipt = true;
    mail.Recipients = {"cc:someone", "BCC: x", "to@example.org"};
    mail.Attachments = {"/videos/Demo.zip", "/videos/Test, ä.7z"};
    mail.AttachmentNames = {"Shown.zip"};
    ASSERT_TRUE(mail.Send());

    const std::vector<SeenRecipient> recipients = {
        {MAPI_CC, "someone", "someone"},
        {MAPI_BCC, " x", " x"},
        {MAPI_TO, "to@example.org", "to@example.org"},
    };
    EXPECT_EQ(mapi_.recipients, recipients);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"/videos/Demo.zip", "Shown.zip"}, {"/videos/Test, ä.7z", "Test, ä.7z"}};
    EXPECT_EQ(mapi_.files, files);
    EXPECT_EQ(mapi_.positions, (std::vector<ULONG>{0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_EQ(mapi_.subject, "");  // an empty text, not a missing one
    EXPECT_EQ(mapi_.body, "Hallo");
    EXPECT_EQ(mapi_.sender, (SeenRecipient{MAPI_ORIG, "me@example.org", "me@example.org"}));
    EXPECT_EQ(mapi_.message.flFlags, MAPI_RECEIPT_REQUESTED);
    EXPECT_EQ(mapi_.message.lpszMessageType, nullptr);
}

TEST_F(MailTest, ResolvedNamesAndUnresolvedOnes) {
    TMAPIMail mail(mapi_);
    mail.ResolveNames = true;
    mail.Recipients = {"CC:Anna"};
    mapi_.resolveResult = MAPI_E_AMBIGUOUS_RECIPIENT;
    ASSERT_TRUE(mail.Send());
    EXPECT_EQ(mapi_.recipients,
              (std::vector<SeenRecipient>{{MAPI_CC, "Resolved Anna", "Resolved Anna", {7, 8, 9}}}));
    EXPECT_EQ(mapi_.calls, (std::vector<std::string>{"resolve", "resolve dialog", "free", "send"}));

    RecordingMapi refusing;
    refusing.resolveResult = refusing.resolveDialogResult = MAPI_E_UNKNOWN_RECIPIENT;
    TMAPIMail unresolved(refusing);
    unresolved.ResolveNames = true;
    unresolved.Recipients = {"Nobody"};
    ASSERT_TRUE(unresolved.Send());
    EXPECT_EQ(refusing.recipients, (std::vector<SeenRecipient>{{MAPI_TO, {}, {}}}));
    EXPECT_EQ(refusing.calls, (std::vector<std::string>{"resolve", "resolve dialog", "send"}));
}

TEST_F(MailTest, RefusedLogonRaisesItsTextAndSendsNothing) {
    SetProfile("Outlook");
    mapi_.logonResult = MAPI_E_LOGIN_FAILURE;
    TMAPIMail mail(mapi_);
    try {
        mail.Send();
        FAIL() << "no error raised";
    } catch (const mail::EMapiError& error) {
        EXPECT_STREQ(error.what(), "MAPI Error 3: Logon failure");
    }
    EXPECT_EQ(mapi_.calls, std::vector<std::string>{"logon"});

    const std::vector<std::pair<int, std::string>> texts = {
        {1, "User cancelled request"}, {7, "Unknown Error Code: 7"},   {18, "Text too large."},
        {26, "Not supported"},         {27, "Unknown Error Code: 27"}, {0, "Unknown Error Code: 0"},
    };
    for (const auto& [code, text] : texts) EXPECT_EQ(TMAPIMail::MapiErrorText(code), text);
}

}  // namespace
