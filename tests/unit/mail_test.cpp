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

constexpr const char* kProfiles = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";
constexpr LHANDLE kSession = 0x5E55;

// Records the calls, and the recipients and attachments as they were during the send.
class RecordingMapi : public EntryPoints {
public:
    ULONG logonResult = SUCCESS_SUCCESS;
    std::vector<std::string> calls;
    std::string profile;
    FLAGS logonFlags = 0, sendFlags = 0;
    LHANDLE loggedOff = 0;
    std::vector<std::tuple<ULONG, std::string, std::string>> recipients;  // class, name, address
    std::vector<std::pair<std::string, std::string>> files;               // path, shown name

    ULONG MAPILogon(ULONG, const char* name, const char*, FLAGS flags, ULONG,
                    LHANDLE* session) override {
        calls.push_back("logon");
        profile = name;
        logonFlags = flags;
        *session = kSession;
        return logonResult;
    }
    ULONG MAPILogoff(LHANDLE session, ULONG, FLAGS, ULONG) override {
        calls.push_back("logoff");
        loggedOff = session;
        return MAPI_E_FAILURE;  // nothing for the caller to do about it
    }
    ULONG MAPISendMail(LHANDLE, ULONG, const MapiMessage* sent, FLAGS flags, ULONG) override {
        calls.push_back("send");
        sendFlags = flags;
        for (ULONG i = 0; i < sent->nRecipCount; ++i) {
            const MapiRecipDesc& r = sent->lpRecips[i];
            recipients.emplace_back(r.ulRecipClass, r.lpszName, r.lpszAddress);
        }
        for (ULONG i = 0; i < sent->nFileCount; ++i) {
            files.emplace_back(sent->lpFiles[i].lpszPathName, sent->lpFiles[i].lpszFileName);
        }
        return SUCCESS_SUCCESS;
    }
    ULONG MAPIFreeBuffer(void*) override { return MAPI_E_NOT_SUPPORTED; }
    ULONG MAPIResolveName(LHANDLE, ULONG, const char*, FLAGS, ULONG, MapiRecipDesc**) override {
        return MAPI_E_NOT_SUPPORTED;
    }
};

// The profile key, with a DefaultProfile value unless name is none.
void SetProfile(const std::optional<std::string>& name) {
    reg::Key key;
    ASSERT_EQ(reg::Key::Create(reg::Root::CurrentUser, kProfiles, reg::Access::Write, key),
              reg::Result::Ok);
    if (!name) return;
    std::vector<std::byte> data(name->size() + 1);
    std::memcpy(data.data(), name->data(), name->size());
    ASSERT_EQ(key.SetValue("DefaultProfile", reg::REG_SZ, data), reg::Result::Ok);
}

TEST(MailTest, FlagsAndSessionFollowTheDefaultProfile) {
    struct Case {
        const char* what;
        bool keyExists;
        std::optional<std::string> profile;
        bool editDialog;
        FLAGS sendFlags;
    };
    const Case cases[] = {
        {"no profile, compose window", false, {}, true, 11},
        {"profile logs on, compose window", true, "Outlook", true, 9},
        {"no profile, silent", false, {}, false, MAPI_LOGON_UI | MAPI_NEW_SESSION},
        {"profile key without a name", true, {}, true, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mail::test::TempHome home;
        if (c.keyExists) SetProfile(c.profile);
        RecordingMapi mapi;
        TMAPIMail mail(mapi);
        mail.EditDialog = c.editDialog;
        EXPECT_TRUE(mail.Send());
        EXPECT_EQ(mapi.sendFlags, c.sendFlags);
        const std::vector<std::string> calls =
            c.keyExists ? std::vector<std::string>{"logon", "send", "logoff"}
                        : std::vector<std::string>{"send"};
        EXPECT_EQ(mapi.calls, calls);
        if (c.keyExists) {
            EXPECT_EQ(mapi.profile, c.profile.value_or(""));
            EXPECT_EQ(mapi.logonFlags, MAPI_NEW_SESSION);
            EXPECT_EQ(mapi.loggedOff, kSession);
        }
    }
}

TEST(MailTest, RecipientPrefixesAndAttachmentNames) {
    mail::test::TempHome home;
    RecordingMapi mapi;
    TMAPIMail mail(mapi);
    mail.Recipients = {"cc:someone", "BCC: x", "to@example.org"};
    mail.Attachments = {"/videos/Demo.zip", "/videos/Test, ä.7z"};
    mail.AttachmentNames = {"Shown.zip"};
    ASSERT_TRUE(mail.Send());

    const decltype(mapi.recipients) recipients = {
        {MAPI_CC, "someone", "someone"},
        {MAPI_BCC, " x", " x"},
        {MAPI_TO, "to@example.org", "to@example.org"},
    };
    EXPECT_EQ(mapi.recipients, recipients);
    const decltype(mapi.files) files = {{"/videos/Demo.zip", "Shown.zip"},
                                        {"/videos/Test, ä.7z", "Test, ä.7z"}};
    EXPECT_EQ(mapi.files, files);
}

TEST(MailTest, RefusedLogonRaisesItsTextAndSendsNothing) {
    mail::test::TempHome home;
    SetProfile("Outlook");
    RecordingMapi mapi;
    mapi.logonResult = MAPI_E_LOGIN_FAILURE;
    TMAPIMail mail(mapi);
    try {
        mail.Send();
        ADD_FAILURE() << "no error raised";
    } catch (const mail::EMapiError& error) {
        EXPECT_STREQ(error.what(), "MAPI Error 3: Logon failure");
    }
    EXPECT_EQ(mapi.calls, std::vector<std::string>{"logon"});

    EXPECT_EQ(TMAPIMail::MapiErrorText(7), "Unknown Error Code: 7");
}

}  // namespace
