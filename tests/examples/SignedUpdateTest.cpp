// The demo host with trusted keys against a hostile version center: the real
// reference center serving the signed sample product, behind a proxy that
// rewrites what an attacker on the network path, a compromised mirror or a
// CDN could. Every attack must fail with one error line and leave the
// install directory, the state file and the file of the newest snapshot
// seen exactly as they were.
#include "CMd5.h"

#include "support/CScratchDir.h"
#include "support/CTamperingProxy.h"
#include "support/ChildProcess.h"
#include "support/Files.h"
#include "support/HostUnderTest.h"
#include "support/Json.h"
#include "support/SampleProduct.h"

#include <Minisign.h>
#include <Snapshot.h>

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;
using namespace testsupport;

namespace
{

std::vector<std::string> Lines(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Everything under `directory`: each file with its bytes, each link with its
// target, each folder by name.
std::map<std::string, std::string> Tree(const fs::path& directory)
{
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(directory); it != fs::recursive_directory_iterator(); ++it)
    {
        const std::string name = it->path().lexically_relative(directory).generic_string();
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status))
            tree[name] = "link " + fs::read_symlink(it->path()).string();
        else if (fs::is_directory(status))
            tree[name] = "folder";
        else
            tree[name] = "file " + ReadFile(it->path());
    }
    return tree;
}

std::string Compact(const Json::Value& value)
{
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    return Json::writeString(writer, value);
}

class SignedUpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = m_scratch.Path().string();
        m_keys = m_dir + "/.keys";
        fs::create_directories(m_keys);
        for (const char* name : {"editor", "stranger"})
        {
            const CRunResult made = RunProgram(VESK_VERSION_CENTER_PATH,
                                               {"keygen", "--secret", Key(name, "key"), "--public", Key(name, "pub")});
            ASSERT_EQ(made.status, 0) << made.output;
        }

        // Published twice, as a publisher does release after release: the
        // first snapshot is an older one, genuinely signed.
        const std::string sign = Key("editor", "key");
        CPublishedSample sample = PublishSampleProduct(VESK_VERSION_CENTER_PATH, m_dir, ".downloads", sign);
        ASSERT_EQ(sample.publish.status, 0) << sample.publish.output;
        m_signed = sample.downloads + "/Editor/signed/";
        m_oldSnapshot = ReadFile(m_signed + "snapshot.json");
        m_oldSnapshotSignature = ReadFile(m_signed + "snapshot.json.minisig");
        sample = PublishSampleProduct(VESK_VERSION_CENTER_PATH, m_dir, ".downloads", sign);
        ASSERT_EQ(sample.publish.status, 0) << sample.publish.output;
        ASSERT_TRUE(vesktrust::ReadSnapshot(ReadFile(m_signed + "snapshot.json"), m_snapshot, m_error)) << m_error;
        vesktrust::CSnapshot old;
        ASSERT_TRUE(vesktrust::ReadSnapshot(m_oldSnapshot, old, m_error)) << m_error;
        ASSERT_LT(old.sequence, m_snapshot.sequence);

        // The center completes its download addresses with the proxy's, so
        // every byte the host fetches passes the proxy.
        m_server.reset(new CBackgroundProgram(VESK_VERSION_CENTER_PATH,
                                              {"--listen", "127.0.0.1:0", "--files", sample.downloads, "--download-url",
                                               m_proxy.Url("/files/"), sample.catalog}));
        std::string line;
        ASSERT_TRUE(m_server->ReadLine(line, 30)) << "the version center did not start";
        const std::string::size_type port = line.find("127.0.0.1:");
        ASSERT_NE(port, std::string::npos) << line;
        m_proxy.SetUpstream(std::stoi(line.substr(port + 10)));

        m_install = m_dir + "/Editor";
        for (const std::vector<std::string>& step :
             {std::vector<std::string>{"init", "Editor", m_proxy.Url("/"), "--installed", "1.0"},
              std::vector<std::string>{"apply-version", "1.0", m_install}, std::vector<std::string>{"check"}})
        {
            const CRunResult result = Host(step);
            ASSERT_EQ(result.status, 0) << step[0] << "\n" << result.output;
        }
    }

    std::string Key(const std::string& name, const std::string& kind) const { return m_keys + "/" + name + "." + kind; }

    CRunResult Host(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--state", m_dir + "/editor.state", "--trust", Key("editor", "pub")});
        return RunProgram(HostProgram(VESK_HOST_PATH), args);
    }

    // A signature of `text` by one of the test's keys.
    std::string Sign(const std::string& name, const std::string& text, const std::string& fileName)
    {
        vesktrust::CSecretKey key;
        EXPECT_TRUE(vesktrust::LoadSecretKey(Key(name, "key"), key, m_error)) << m_error;
        return vesktrust::SignText(key, text, fileName);
    }

    // A tamper that answers `target` with `body` (status 200).
    static CTamperingProxy::Tamper Serve(std::map<std::string, std::string> bodies)
    {
        return [bodies](const std::string& target, CTamperingProxy::CAnswer& answer) {
            const auto found = bodies.find(target);
            if (found != bodies.end())
            {
                answer.status = 200;
                answer.body = found->second;
            }
        };
    }

    // A tamper that rewrites the JSON answer to `target`.
    static CTamperingProxy::Tamper Rewrite(const std::string& target, std::function<void(Json::Value&)> change)
    {
        return [target, change](const std::string& asked, CTamperingProxy::CAnswer& answer) {
            if (asked != target)
                return;
            Json::Value document = Parse(answer.body);
            change(document);
            answer.body = Compact(document);
        };
    }

    CScratchDir m_scratch{"vesk-signed"};
    CTamperingProxy m_proxy;
    std::unique_ptr<CBackgroundProgram> m_server;
    std::string m_dir, m_keys, m_signed, m_install, m_error;
    std::string m_oldSnapshot, m_oldSnapshotSignature;
    vesktrust::CSnapshot m_snapshot;
};

} // namespace

TEST_F(SignedUpdateTest, AttacksLeaveInstallAndStateUntouched)
{
    const std::string files = "/files/Editor/signed/";
    const std::string p1001 = files + "patch-P-1001.json";
    const std::string manifest = ReadFile(m_signed + "patch-P-1001.json");
    // Forged bytes of the genuine file's length, so that only the digest
    // can tell them apart.
    std::string evil = "#!/bin/sh\necho owned\n";
    evil.resize(ReadFile(m_signed + "../1.1.0.0/bin/editor.bin").size(), '#');
    CMd5 md5;
    md5.Update(evil.data(), evil.size());
    const std::string evilMd5 = md5.HexDigest();
    httplib::Client center(m_proxy.Url(""));
    const httplib::Result version10 = center.Get("/Editor/versions/1.0.0.0/package");
    ASSERT_TRUE(version10);
    const std::string version10Package = version10->body;

    vesktrust::CSnapshot expired = m_snapshot;
    expired.expires = static_cast<long long>(std::time(nullptr)) - 3600;
    const std::string expiredText = vesktrust::WriteSnapshot(expired);

    std::string altered = ReadFile(m_signed + "patch-P-1001.json.minisig");
    const std::string::size_type second = altered.find('\n') + 20; // inside the signature's base64 line
    altered[second] = altered[second] == 'A' ? 'B' : 'A';
    const std::string signature = ReadFile(m_signed + "patch-P-1001.json.minisig");

    // The host and the plug-in each fetch the manifest: the second pair of
    // requests gets another package's.
    auto fetched = std::make_shared<std::atomic<int>>(0);
    const std::string p1102 = ReadFile(m_signed + "patch-P-1102.json");
    const std::string p1102Signature = ReadFile(m_signed + "patch-P-1102.json.minisig");

    // A file or folder of the install replaced by a link to `target`, made
    // outside it: an empty folder, or a copy of what the link replaces. What
    // the link leads to must stay as it was too.
    const fs::path saved = fs::path(m_dir) / "saved";
    const auto linkOut = [&saved](const fs::path& inside, const fs::path& target, bool copy) {
        return [=](bool arrange) {
            if (arrange)
            {
                if (copy)
                    fs::copy(inside, target, fs::copy_options::recursive);
                else
                    fs::create_directories(target);
                fs::rename(inside, saved);
                if (fs::is_directory(target))
                    fs::create_directory_symlink(target, inside);
                else
                    fs::create_symlink(target, inside);
                return;
            }
            if (!fs::is_directory(target))
                EXPECT_EQ(ReadFile(target), ReadFile(saved));
            else if (copy)
                EXPECT_EQ(Tree(target), Tree(saved));
            else
                EXPECT_TRUE(fs::is_empty(target));
            fs::remove(inside);
            fs::rename(saved, inside);
            fs::remove_all(target);
        };
    };
    const fs::path bin = fs::path(m_install) / "bin";
    const fs::path outside = fs::path(m_dir) / "outside";

    const struct
    {
        const char* attack;
        std::vector<std::string> command;
        CTamperingProxy::Tamper tamper;
        const char* says;
        std::function<void(bool)> arrange = nullptr; // called before (true) and after (false) the row, when set
    } rows[] = {
        {"a file swapped together with its MD5 and length (its delta gone, so the whole file is fetched)",
         {"apply", "P-1001", m_install},
         [&](const std::string& target, CTamperingProxy::CAnswer& answer) {
             if (target.find("/deltas/") != std::string::npos)
                 answer = CTamperingProxy::CAnswer{404, "not found", "text/plain"};
             if (target == "/evil.bin")
             {
                 answer.status = 200;
                 answer.body = evil;
             }
             if (target != "/Editor/patchs/P-1001/package")
                 return;
             Json::Value package = Parse(answer.body);
             Json::Value& file = package["resource"]["files"][0];
             file["url"] = m_proxy.Url("/evil.bin");
             file["length"] = std::to_string(evil.size());
             file["md5"] = evilMd5;
             answer.body = Compact(package);
         },
         "sent does not match the signed manifest"},
        {"another package's valid manifest",
         {"apply", "P-1001", m_install},
         Serve({{p1001, ReadFile(m_signed + "patch-P-1102.json")},
                {p1001 + ".minisig", ReadFile(m_signed + "patch-P-1102.json.minisig")}}),
         "is for patch P-1102"},
        {"an older version's manifest and package for a newer patch",
         {"apply", "P-1001", m_install},
         [&](const std::string& target, CTamperingProxy::CAnswer& answer) {
             Serve({{p1001, ReadFile(m_signed + "version-1.0.0.0.json")},
                    {p1001 + ".minisig", ReadFile(m_signed + "version-1.0.0.0.json.minisig")}})(target, answer);
             if (target == "/Editor/patchs/P-1001/package")
                 answer.body = version10Package;
         },
         "is for version 1.0.0.0"},
        {"a replayed snapshot",
         {"check"},
         Serve({{files + "snapshot.json", m_oldSnapshot}, {files + "snapshot.json.minisig", m_oldSnapshotSignature}}),
         "replay"},
        {"an expired snapshot",
         {"check"},
         Serve({{files + "snapshot.json", expiredText},
                {files + "snapshot.json.minisig", Sign("editor", expiredText, "snapshot.json")}}),
         "expired"},
        {"an inflated result version, recorded",
         {"installed", "P-1001"},
         [](const std::string& target, CTamperingProxy::CAnswer& answer) {
             if (target.rfind("/Editor/patchs", 0) == 0)
                 answer.body = ReplaceAll(answer.body, "{\"v\":\"1.1.0.0\"}", "{\"v\":\"99.0.0.0\"}");
         },
         "to 99.0.0.0, its signed manifest from 1.0.0.0 to 1.1.0.0"},
        {"an inflated result version, checked",
         {"check"},
         [](const std::string& target, CTamperingProxy::CAnswer& answer) {
             if (target.rfind("/Editor/patchs", 0) == 0)
                 answer.body = ReplaceAll(answer.body, "{\"v\":\"1.1.0.0\"}", "{\"v\":\"99.0.0.0\"}");
         },
         "its signed snapshot"},
        {"an inflated situation",
         {"check"},
         Rewrite("/Editor/versions/situation", [](Json::Value& situation) { situation["last"]["v"] = "99.0.0.0"; }),
         "the last version is 99.0.0.0, its signed snapshot says 2.0.0.0"},
        {"an unsigned package",
         {"apply", "P-1001", m_install},
         [&](const std::string& target, CTamperingProxy::CAnswer& answer) {
             if (target == p1001 + ".minisig")
                 answer = CTamperingProxy::CAnswer{404, "not found", "text/plain"};
         },
         "does not verify"},
        {"a signature by an untrusted key",
         {"apply", "P-1001", m_install},
         Serve({{p1001 + ".minisig", Sign("stranger", manifest, "patch-P-1001.json")}}),
         "does not verify"},
        {"a truncated signature",
         {"apply", "P-1001", m_install},
         Serve({{p1001 + ".minisig", signature.substr(0, signature.size() / 2)}}),
         "does not verify"},
        {"an altered signature",
         {"apply", "P-1001", m_install},
         Serve({{p1001 + ".minisig", altered}}),
         "does not verify"},
        {"a file added to the package answer",
         {"apply", "P-1001", m_install},
         Rewrite("/Editor/patchs/P-1001/package",
                 [](Json::Value& package) {
                     Json::Value extra = package["resource"]["files"][0];
                     extra["path"] = "bin/extra.bin";
                     package["resource"]["files"].append(extra);
                 }),
         "adds bin/extra.bin"},
        {"a file dropped from the package answer",
         {"apply-version", "2.0", m_install},
         Rewrite("/Editor/versions/2.0.0.0/package",
                 [](Json::Value& package) {
                     Json::Value kept(Json::arrayValue);
                     for (const Json::Value& file : package["resource"]["files"])
                         if (file["path"] != "etc/plugins.lst")
                             kept.append(file);
                     package["resource"]["files"] = kept;
                 }),
         "lacks etc/plugins.lst"},
        {"a patch whose manifest does not apply to the installed version",
         {"apply", "P-1201", m_install},
         nullptr,
         "does not apply to the installed version 1.0.0.0"},
        {"a manifest swapped between the host's check and the plug-in's",
         {"apply", "P-1001", m_install},
         [&](const std::string& target, CTamperingProxy::CAnswer& answer) {
             if (target == p1001 && ++*fetched > 1)
                 answer.body = p1102;
             if (target == p1001 + ".minisig" && *fetched > 1)
                 answer.body = p1102Signature;
         },
         "is for patch P-1102 of Editor, not for patch P-1001 of Editor"},
        {"a file:// url in the package answer",
         {"apply", "P-1001", m_install},
         Rewrite("/Editor/patchs/P-1001/package",
                 [](Json::Value& package) { package["resource"]["files"][0]["url"] = "file:///etc/passwd"; }),
         "only http and https urls are fetched"},
        {"a folder of the install replaced by a link to outside it",
         {"apply", "P-1001", m_install},
         nullptr,
         "link inside the install directory; it is not followed",
         linkOut(bin, outside, false)},
        {"a folder of the install replaced by a link to a copy of it, checked",
         {"verify", "1.0", m_install},
         nullptr,
         "do not match version 1.0: bin/editor.bin",
         linkOut(bin, outside, true)},
        {"a file of the install replaced by a link to a copy of it, checked",
         {"verify", "1.0", m_install},
         nullptr,
         "do not match version 1.0: bin/editor.bin",
         linkOut(bin / "editor.bin", outside, true)},
    };

    const std::string state = m_dir + "/editor.state";
    const std::string seen = state + ".sequence";
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.attack);
        if (row.arrange)
            row.arrange(true);
        const std::map<std::string, std::string> tree = Tree(m_install);
        const std::string stateBefore = ReadFile(state);
        const std::string seenBefore = ReadFile(seen);
        m_proxy.SetTamper(row.tamper);
        const CRunResult result = Host(row.command);
        m_proxy.SetTamper(nullptr);

        EXPECT_NE(result.status, 0) << result.output;
        const std::vector<std::string> lines = Lines(result.output);
        ASSERT_EQ(lines.size(), 1u) << result.output;
        EXPECT_EQ(lines[0].rfind("vesk-host: error: ", 0), 0u) << result.output;
        EXPECT_NE(lines[0].find(row.says), std::string::npos) << result.output;
        EXPECT_EQ(Tree(m_install), tree);
        EXPECT_EQ(ReadFile(state), stateBefore);
        EXPECT_EQ(ReadFile(seen), seenBefore);
        if (row.arrange)
            row.arrange(false);
    }

    // Untouched, the same commands go through: the attacks failed for what
    // was changed, not for the course.
    const CRunResult applied = Host({"apply", "P-1001", m_install});
    EXPECT_EQ(applied.status, 0) << applied.output;
    EXPECT_NE(applied.output.find("verified patch P-1001 by key "), std::string::npos) << applied.output;
    const CRunResult installed = Host({"installed", "P-1001"});
    EXPECT_EQ(installed.status, 0) << installed.output;
    EXPECT_NE(installed.output.find("version 1.0.0.0 -> 1.1.0.0"), std::string::npos) << installed.output;
    EXPECT_EQ(Host({"check"}).status, 0);
}
