// TMAPIMail through the real xdg-email and xdg-mime, with a mail program of the test's own
// registered as the desktop's mailto handler: one that takes a mailto address, and one named
// thunderbird, which is handed a "-compose" argument. xdg-open ignores scheme handlers without a
// display, hence the label.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "mail/SendMail.h"
#include "tests/support/program.h"
#include "tests/unit/mail_test_support.h"

using namespace platform::mapi;
using mail::TMAPIMail;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

using mail::test::Fields;
using mail::test::MailtoFields;
using mail::test::PercentDecoded;

// The fields of a "-compose" argument as Thunderbird reads them: split at commas outside single
// quotes (opened right after "=", closed before a comma or the end); a quoted value as it is,
// any other percent-decoded. The attachment list is split at its commas and each file URL
// turned into its path.
Fields ThunderbirdFields(const std::string& argument) {
    std::vector<std::string> pairs(1);
    bool quoted = false;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        const char c = argument[i];
        if (c == '\'' && !quoted && i > 0 && argument[i - 1] == '=') {
            quoted = true;
        } else if (c == '\'' && quoted && (i + 1 == argument.size() || argument[i + 1] == ',')) {
            quoted = false;
        } else if (c == ',' && !quoted) {
            pairs.emplace_back();
            continue;
        }
        pairs.back() += c;
    }
    Fields fields;
    for (const std::string& pair : pairs) {
        const std::size_t equals = pair.find('=');
        const std::string name = pair.substr(0, equals);
        const std::string value = pair.substr(equals + 1);
        if (value.size() < 2 || value.front() != '\'' || value.back() != '\'') {
            fields[name].push_back(PercentDecoded(value));
            continue;
        }
        std::istringstream list(value.substr(1, value.size() - 2));
        for (std::string item; std::getline(list, item, ',');) {
            const bool url = name == "attachment" && item.starts_with("file://");
            fields[name].push_back(url ? PercentDecoded(item.substr(7)) : item);
        }
    }
    return fields;
}

class MailProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A desktop that xdg-utils know nothing special about, with no handlers but ours and
        // no browser to fall back on.
        for (const char* name :
             {"XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
              "MATE_DESKTOP_SESSION_ID", "DESKTOP_SESSION", "MAILER"}) {
            ::unsetenv(name);
        }
        ::setenv("BROWSER", "korvex-no-browser", 1);
        // Non-ASCII texts must arrive as they are in a locale without them, too.
        ::setenv("LC_ALL", "C", 1);
        ::setenv("XDG_DATA_DIRS", (home_.Root() / "system").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (home_.Root() / "system").c_str(), 1);
        ASSERT_NE(::getenv("DISPLAY"), nullptr);
        fs::create_directories(home_.Root() / "bin");
    }

    // Registers a mail program of that name, which records its arguments; with hold, it then
    // keeps running while the file "hold" exists.
    void RegisterHandler(const std::string& name, bool hold = false) {
        const fs::path program = home_.Root() / "bin" / name;
        const std::string root = home_.Root().string();
        WriteFile(program,
                  "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + root + "/args.part'\nmv '" + root +
                      "/args.part' '" + Record().string() + "'\n" +
                      (hold ? "while [ -e '" + root + "/hold' ]; do sleep 0.05; done\n" : ""));
        fs::permissions(program, fs::perms::owner_all);
        fs::create_directories(home_.Root() / "data/applications");
        WriteFile(home_.Root() / "data/applications/korvex-test-mail.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test mail\nExec=" + program.string() +
                      " %u\nMimeType=x-scheme-handler/mailto;\n");
        WriteFile(home_.Root() / "config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/mailto=korvex-test-mail.desktop\n");
    }

    fs::path Record() const { return home_.Root() / "args"; }

    // The arguments the mail program was started with.
    std::vector<std::string> Recorded() const {
        EXPECT_TRUE(korvex::test::WaitUntil([&] { return fs::exists(Record()); }))
            << "the mail program was not started";
        std::ifstream in(Record(), std::ios::binary);
        std::vector<std::string> args;
        std::string arg;
        while (std::getline(in, arg, '\0')) args.push_back(arg);
        return args;
    }

    // An existing file whose path holds blanks, commas, an apostrophe and non-ASCII letters, and
    // is longer than 256 characters.
    fs::path Attachment() const {
        const fs::path folder = home_.Root() / "Videos, Größe 2" / std::string(200, 'v');
        fs::create_directories(folder);
        const fs::path file = folder / "Démo, Ü's 1.7z";
        WriteFile(file, "7z");
        return file;
    }

    mail::test::TempHome home_;
};

TEST_F(MailProgramTest, BothKindsOfMailProgramGetTheWholeAttachment) {
    const fs::path attachment = Attachment();
    ASSERT_GT(attachment.string().size(), 256u);
    for (const std::string handler : {"korvex-test-mailer", "thunderbird"}) {
        SCOPED_TRACE(handler);
        fs::remove(Record());
        RegisterHandler(handler);
        TMAPIMail mail;
        mail.Subject = "Démo', 1";
        mail.Recipients = {"cc:someone"};
        mail.ResolveNames = handler == "thunderbird";
        mail.Attachments = {attachment.string()};
        EXPECT_TRUE(mail.Send());
        EXPECT_EQ(mail.LastError, 0);

        const std::vector<std::string> args = Recorded();
        Fields fields;
        if (handler == "thunderbird") {
            ASSERT_EQ(args.size(), 2u);
            EXPECT_EQ(args.at(0), "-compose");
            fields = ThunderbirdFields(args.at(1));
            fields["attach"] = fields["attachment"];
        } else {
            ASSERT_EQ(args.size(), 1u);
            fields = MailtoFields(args.at(0));
        }
        EXPECT_EQ(fields["attach"], std::vector<std::string>{attachment.string()});
        EXPECT_EQ(fields["subject"], std::vector<std::string>{"Démo', 1"});
        EXPECT_EQ(fields["cc"], std::vector<std::string>{"someone"});
    }
    EXPECT_EQ(SimpleMapi().BindCount(), 1);
}

TEST_F(MailProgramTest, FailuresComeBackAsResultCodesWithNothingShown) {
    struct Case {
        const char* what;
        const char* handler;  // none: no mail program registered
        bool fileExists;
        bool editDialog;
        int lastError;
    };
    const Case cases[] = {
        {"attachment missing", "korvex-test-mailer", false, true, MAPI_E_ATTACHMENT_NOT_FOUND},
        {"attachment missing for Thunderbird", "thunderbird", false, true,
         MAPI_E_ATTACHMENT_NOT_FOUND},
        {"no mail program", nullptr, true, true, MAPI_E_LOGIN_FAILURE},
        {"no compose window asked for", "korvex-test-mailer", true, false, MAPI_E_NOT_SUPPORTED},
    };
    const fs::path attachment = Attachment();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(home_.Root() / "config/mimeapps.list");
        fs::remove(home_.Root() / "data/applications/korvex-test-mail.desktop");
        if (c.handler != nullptr) RegisterHandler(c.handler);
        TMAPIMail mail;
        mail.EditDialog = c.editDialog;
        mail.Attachments = {c.fileExists ? attachment.string() : attachment.string() + ".gone"};
        EXPECT_FALSE(mail.Send());
        EXPECT_EQ(mail.LastError, c.lastError);
        EXPECT_FALSE(fs::exists(Record()));
    }
}

TEST_F(MailProgramTest, WithoutXdgEmailNothingIsShownAndNothingRetried) {
    RegisterHandler("korvex-test-mailer");
    const std::string path = ::getenv("PATH");
    XdgEmail entryPoints;
    TMAPIMail mail(entryPoints);
    mail.Attachments = {Attachment().string()};
    ::setenv("PATH", (home_.Root() / "bin").c_str(), 1);
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(mail.LastError, MAPI_USER_ABORT);
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(mail.LastError, MAPI_USER_ABORT);
    EXPECT_EQ(entryPoints.BindCount(), 1);
    EXPECT_FALSE(fs::exists(Record()));
}

TEST_F(MailProgramTest, AMailProgramThatKeepsRunningDoesNotHoldTheSend) {
    RegisterHandler("korvex-test-mailer", true);
    WriteFile(home_.Root() / "hold", "");
    XdgEmail entryPoints(std::chrono::milliseconds(500));
    TMAPIMail mail(entryPoints);
    mail.Attachments = {Attachment().string()};
    EXPECT_TRUE(mail.Send());
    EXPECT_FALSE(Recorded().empty());
    fs::remove(home_.Root() / "hold");
}

}  // namespace
