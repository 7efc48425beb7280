// The writer: byte-exact model files built through the exported functions,
// escaping, and files that read back into the same tree.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "filesave/filesave.h"
#include "tests/xml/xml_test_util.h"

namespace {

// A model in the shape every plug-in writes: history items with text,
// parameters with a "value" attribute.
void build_model(XMLParser** h)
{
    XMLcreateNewDoc(h, "WARPFOLD");
    XMLchangeElement(h, "/WARPFOLD");
    XMLaddChildElement(h, "history");
    XMLaddChildElement(h, "initial_settings");
    XMLaddChildElement(h, "parameters");
    XMLchangeElement(h, "/WARPFOLD/history");
    XMLaddChildElement(h, "item");
    XMLchangeElementWithNumber(h, "item", 1);
    XMLchangeOrAddText(h, "creation time: ");
    XMLappendText(h, "Mon Jan  1 00:00:00 2024");
    XMLchangeElement(h, "/WARPFOLD/parameters");
    XMLaddChildElement(h, "kernel_param0");
    XMLchangeElement(h, "kernel_param0");
    XMLchangeOrAddIntAttribute(h, "value", 1);
}

}  // namespace

TEST(Writer, ModelFileLayoutIsByteExact)
{
    Handle h;
    build_model(&h);
    std::string file = scratch("model.xml");
    ASSERT_EQ(XMLsave(&h, file.c_str()), 1);
    EXPECT_EQ(read_text(file),
              "<WARPFOLD>\n"
              "\t<history>\n"
              "\t\t<item>creation time: Mon Jan  1 00:00:00 2024</item>\n"
              "\t</history>\n"
              "\t<initial_settings/>\n"
              "\t<parameters>\n"
              "\t\t<kernel_param0\n"
              "\t\t   value=\"1\"/>\n"
              "\t</parameters>\n"
              "</WARPFOLD>");
}

TEST(Writer, AttributesEachOnALineOrSeparatedByBlanks)
{
    XMLDocument document("R");
    XMLNode* r = document.root->firstChild;
    r->appendChild(new_attribute("a", "1"));
    r->appendChild(new_attribute("b", "2"));
    std::string pretty, plain;
    document.toText(pretty, true);
    document.toText(plain, false);
    EXPECT_EQ(pretty, "<R\n   a=\"1\"\n   b=\"2\"/>");
    EXPECT_EQ(plain, "<R a=\"1\" b=\"2\"/>");

    std::string stray;
    testing::internal::CaptureStderr();
    XMLDocument::writeNode(stray, r->firstAttribute, true, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unrecognized node type = 0\n");
    EXPECT_EQ(stray, "");
}

TEST(Writer, SpecialCharactersAreEscapedAndRoundTrip)
{
    const char* value = "a<b>&c\"d";
    Handle h;
    XMLcreateNewDoc(&h, "R");
    XMLchangeElement(&h, "/R");
    XMLchangeOrAddAttribute(&h, "v", value);
    XMLchangeOrAddText(&h, "x<y>&z\"");
    std::string first = scratch("escaped.xml"), second = scratch("escaped2.xml");
    ASSERT_EQ(XMLsave(&h, first.c_str()), 1);
    EXPECT_EQ(read_text(first), "<R\n   v=\"a&lt;b&gt;&amp;c&quot;d\">x&lt;y>&amp;z\"</R>");

    Handle back;
    ASSERT_EQ(XMLopen(&back, first.c_str()), 1);
    ASSERT_EQ(XMLchangeElement(&back, "/R"), 1);
    char buffer[64];
    EXPECT_STREQ(XMLgetAttrValue(&back, "v", buffer), value);
    EXPECT_STREQ(XMLgetText(&back, buffer), "x<y>&z\"");
    ASSERT_EQ(XMLsave(&back, second.c_str()), 1);
    EXPECT_EQ(read_text(second), read_text(first));
}

TEST(Writer, ReadFileIsWrittenBackUnchanged)
{
    std::string in = scratch("declared.xml"), out = scratch("declared_out.xml");
    const std::string body = "<?xml version=\"1.0\"?>\n<!-- model -->\n<M>\n\t<a\n\t   x=\"1\"/>\n</M>";
    write_text(in, body + "\ntrailing text");
    Handle h;
    ASSERT_EQ(XMLopen(&h, in.c_str()), 1);
    ASSERT_EQ(XMLsave(&h, out.c_str()), 1);
    EXPECT_EQ(read_text(out), body);
    ASSERT_EQ(_XMLsave(&h), 1);
    EXPECT_EQ(read_text(in), body);
}

// A failed save says so, then names the file and the reason.
TEST(Writer, UnwritableFileReportsFailureAndWhy)
{
    std::string missing = scratch("no/such/folder/f.xml"), folder = scratch("a_folder");
    std::filesystem::create_directories(folder);
    const struct {
        std::string file;
        std::string said;  // the line after "Can't write the xml file"
    } cases[] = {
        {missing, missing + ": No such file or directory\n"},
        {"/dev/full", "/dev/full: not a regular file\n"},
        {folder, folder + ": Is a directory\n"},
        {"", "the file name is empty\n"},
    };
    for (const auto& c : cases) {
        Handle h;
        XMLcreateNewDoc(&h, "R");
        testing::internal::CaptureStderr();
        EXPECT_EQ(XMLsave(&h, c.file.c_str()), 0) << c.file;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can't write the xml file\n" + c.said);
    }
}

// Control characters other than tab and line feed are written as character
// references, so a carriage return in a value or a text survives a save and
// an open.
TEST(Writer, ControlCharactersSurviveASaveAndAnOpen)
{
    const std::string texts[] = {
        "a\rb", "line\r\n", "\r", "\x01\x1f\x7f", "tab\tand\nline feed", "\r\r\n\n",
    };
    std::string file = scratch("controls.xml");
    for (const auto& text : texts) {
        Handle h;
        XMLcreateNewDoc(&h, "R");
        XMLchangeElement(&h, "/R");
        XMLchangeOrAddAttribute(&h, "v", text.c_str());
        XMLchangeOrAddText(&h, text.c_str());
        ASSERT_EQ(XMLsave(&h, file.c_str()), 1);
        EXPECT_EQ(read_text(file).find('\r'), std::string::npos) << read_text(file);
        Handle back;
        ASSERT_EQ(XMLopen(&back, file.c_str()), 1);
        XMLchangeElement(&back, "/R");
        char value[64] = {}, body[64] = {};
        EXPECT_STREQ(XMLgetAttrValue(&back, "v", value), text.c_str());
        EXPECT_STREQ(XMLgetText(&back, body), text.c_str());
    }
    Handle h;
    XMLcreateNewDoc(&h, "R");
    XMLchangeElement(&h, "/R");
    XMLchangeOrAddAttribute(&h, "v", "a\rb\t\x01");
    ASSERT_EQ(XMLsave(&h, file.c_str()), 1);
    EXPECT_EQ(read_text(file), "<R\n   v=\"a&#13;b\t&#1;\"/>");
}

// The file a save leaves: a new file gets 0666 less the umask, an
// existing one keeps its own, and a symbolic link keeps pointing to the file
// that now holds the new model.
TEST(Writer, SaveKeepsPermissionBitsAndSymbolicLinks)
{
    namespace fs = std::filesystem;
    std::string folder = scratch("links");
    fs::create_directories(folder + "/real");
    std::string target = folder + "/real/model.xml";
    write_text(target, "old");
    chmod(target.c_str(), 0640);
    fs::create_symlink("real/model.xml", folder + "/relative.xml");
    fs::create_symlink(folder + "/relative.xml", folder + "/chained.xml");
    fs::create_symlink("real/new.xml", folder + "/dangling.xml");
    fs::create_symlink("loop.xml", folder + "/loop.xml");
    mode_t mask = umask(022);
    const struct {
        std::string saved_as;  // the name given to the save
        std::string lands_in;  // the regular file written
        int result;
        unsigned mode;         // permission bits of that file afterwards
        mode_t umask = 022;    // in force during the save: a new file gets 0666 less it
    } cases[] = {
        {target, target, 1, 0640},
        {folder + "/relative.xml", target, 1, 0640},
        {folder + "/chained.xml", target, 1, 0640},
        {folder + "/dangling.xml", folder + "/real/new.xml", 1, 0644},
        {folder + "/fresh.xml", folder + "/fresh.xml", 1, 0644},
        {folder + "/group.xml", folder + "/group.xml", 1, 0664, 002},
        {folder + "/loop.xml", "", 0, 0},
    };
    int round = 0;
    for (const auto& c : cases) {
        Handle h;
        XMLcreateNewDoc(&h, ("R" + std::to_string(++round)).c_str());
        umask(c.umask);
        testing::internal::CaptureStderr();
        EXPECT_EQ(XMLsave(&h, c.saved_as.c_str()), c.result) << c.saved_as;
        testing::internal::GetCapturedStderr();
        if (c.result != 1)
            continue;
        EXPECT_EQ(read_text(c.saved_as), "<R" + std::to_string(round) + "/>");
        struct stat info;
        ASSERT_EQ(lstat(c.lands_in.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << c.saved_as;
        EXPECT_EQ(info.st_mode & 07777, c.mode) << c.saved_as;
    }
    umask(mask);
    EXPECT_TRUE(fs::is_symlink(folder + "/relative.xml"));
    EXPECT_TRUE(fs::is_symlink(folder + "/dangling.xml"));
    // Nothing but the files above is left behind.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(folder + "/real"))
        entries += entry.path().filename().string()[0] == '.' ? 100 : 1;
    EXPECT_EQ(entries, 2);
}

// A save that fails part-way (here at a file-size limit) reports failure and
// leaves the old model exactly as it was, with no temporary file behind.
TEST(Writer, FailedSaveLeavesTheOldFileWhole)
{
    namespace fs = std::filesystem;
    std::string folder = scratch("limited");
    fs::create_directories(folder);
    std::string model = folder + "/model.xml";
    write_text(model, "<OLD/>");
    int result = bounded_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        Handle h;
        XMLcreateNewDoc(&h, "NEW");
        XMLchangeElement(&h, "/NEW");
        std::string big(100000, 'x');
        XMLchangeOrAddAttribute(&h, "v", big.c_str());
        testing::internal::CaptureStderr();
        int saved = XMLsave(&h, model.c_str());
        bool message = testing::internal::GetCapturedStderr() ==
                       "Can't write the xml file\n" + model + ": File too large\n";
        return saved == 0 && message ? 7 : 1;
    });
    EXPECT_EQ(result, 7);
    EXPECT_EQ(read_text(model), "<OLD/>");
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        entries += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(entries, 1);
}

// Saving to a FIFO or a device is refused at once: the FIFO stays a FIFO and
// nothing waits for a reader.
TEST(Writer, SavesOnlyToRegularFilesAndNeverBlocks)
{
    std::string fifo = scratch("save.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string paths[] = {fifo, "/dev/null", scratch("")};
    for (const auto& path : paths) {
        int result = bounded_child([&] {
            Handle h;
            XMLcreateNewDoc(&h, "R");
            testing::internal::CaptureStderr();
            int saved = XMLsave(&h, path.c_str());
            testing::internal::GetCapturedStderr();
            return saved == 0 ? 7 : 1;
        });
        EXPECT_EQ(result, 7) << path;
    }
    struct stat info;
    ASSERT_EQ(stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// The permission rule, seen by an ordinary user (the test, when it runs as
// root, acts as "nobody" in a child): a read-only model in a folder the user
// may write is refused and kept; a writable model in a folder the user may
// not write is written in place, if the user may read it too; a new file
// there cannot be made. The check made before training answers as the save.
TEST(Writer, SaveFollowsTheFilesOwnPermission)
{
    namespace fs = std::filesystem;
    const uid_t nobody = 65534;
    bool root = geteuid() == 0;
    uid_t actor = root ? nobody : geteuid();
    std::string open = scratch("open"), locked = scratch("locked");
    chmod(scratch("").c_str(), 0755);
    fs::create_directories(open);
    fs::create_directories(locked);
    std::string readOnly = open + "/model.xml", inPlace = locked + "/model.xml";
    std::string writeOnly = locked + "/write-only.xml";
    write_text(readOnly, "<OLD/>");
    write_text(inPlace, "<OLD/>");
    write_text(writeOnly, "<OLD/>");
    chmod(readOnly.c_str(), 0444);
    chmod(writeOnly.c_str(), 0222);
    for (const std::string& p : {open, readOnly, inPlace, writeOnly})
        ASSERT_EQ(chown(p.c_str(), actor, static_cast<gid_t>(-1)), 0) << p;
    chmod(locked.c_str(), 0555);
    struct stat before;
    ASSERT_EQ(stat(inPlace.c_str(), &before), 0);
    int result = bounded_child([&] {
        if (root && (setgid(nobody) != 0 || setuid(nobody) != 0))
            return 2;
        const struct {
            std::string file;
            int result;
        } cases[] = {{readOnly, 0}, {inPlace, 1}, {locked + "/new.xml", 0}, {writeOnly, 0}};
        int failures = 0;
        for (const auto& c : cases) {
            failures += replace_refusal(c.file.c_str()) != (c.result ? "" : "Permission denied");
            Handle h;
            XMLcreateNewDoc(&h, "NEW");
            testing::internal::CaptureStderr();
            int saved = XMLsave(&h, c.file.c_str());
            std::string said = testing::internal::GetCapturedStderr();
            std::string refusal = "Can't write the xml file\n" + c.file + ": Permission denied\n";
            failures += saved != c.result || said != (c.result ? "" : refusal);
        }
        return failures == 0 ? 7 : 1;
    });
    chmod(locked.c_str(), 0755);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(read_text(readOnly), "<OLD/>");
    EXPECT_EQ(read_text(inPlace), "<NEW/>");
    chmod(writeOnly.c_str(), 0644);
    EXPECT_EQ(read_text(writeOnly), "<OLD/>");
    struct stat info;
    ASSERT_EQ(stat(readOnly.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    ASSERT_EQ(stat(inPlace.c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, before.st_ino);
    EXPECT_FALSE(fs::exists(locked + "/new.xml"));
    EXPECT_EQ(entries_of(open), std::vector<std::string>{"model.xml"});
    EXPECT_EQ(entries_of(locked), (std::vector<std::string>{"model.xml", "write-only.xml"}));
}

// In a folder with the sticky bit only a file's owner may rename over it,
// so another user who may write (and read) the file writes it in place. In a
// world-writable one a link or a file owned neither by the saver nor by the
// folder's owner is refused, as the kernel would refuse it. The check made
// before training answers as the save (skipped when not root).
TEST(Writer, SaveInAStickyFolderFollowsTheKernelRules)
{
    namespace fs = std::filesystem;
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    const uid_t nobody = 65534, other = 4242;
    const gid_t group = 5000;
    const std::string linkRefused =
        "another user's symbolic link in a world-writable sticky folder is not followed";
    const struct {
        const char* what;
        mode_t folderMode;  // the folder's, owned by root and the group
        const char* link;   // model.xml is a link of nobody's to this; "": none
        uid_t fileOwner;    // of the file saved over (model.xml, or what the link names)
        mode_t fileMode;    // 0: there is none
        uid_t saver;        // in the group too when not root
        std::string why;    // "" when the save succeeds
    } cases[] = {
        {"root's writable file, saved by another user", 01777, "", 0, 0666, nobody, ""},
        {"root's file that another user may write, not read", 01777, "", 0, 0622, nobody,
         "Permission denied"},
        {"another user's link to root's file", 01777, "../victim/secret", 0, 0600, 0, linkRefused},
        {"another user's link to a new file", 01777, "../victim/new", 0, 0, 0, linkRefused},
        {"another user's file", 01777, "", nobody, 0666, 0,
         "another user's file in a world-writable sticky folder is not written"},
        {"the saver's own link", 01777, "../victim/secret", nobody, 0600, nobody, ""},
        {"another user's file in a group's sticky folder", 01770, "", other, 0660, nobody, ""},
    };
    chmod(scratch("").c_str(), 0755);
    std::string folder = scratch("sticky"), model = folder + "/model.xml";
    for (const auto& c : cases) {
        for (const std::string& f : {folder, scratch("victim")}) {
            fs::remove_all(f);
            fs::create_directories(f);
        }
        ASSERT_EQ(chown(folder.c_str(), 0, group), 0);
        chmod(folder.c_str(), c.folderMode);
        std::string file = *c.link ? folder + "/" + c.link : model;
        if (c.fileMode != 0) {
            write_text(file, "<OLD/>");
            ASSERT_EQ(chown(file.c_str(), c.fileOwner, group), 0);
            chmod(file.c_str(), c.fileMode);
        }
        if (*c.link) {
            fs::create_symlink(c.link, model);
            ASSERT_EQ(lchown(model.c_str(), nobody, nobody), 0);
        }
        ino_t before = inode_of(file);
        int result = bounded_child([&] {
            if (c.saver != 0 && (setgroups(1, &group) != 0 || setgid(c.saver) != 0 ||
                                 setuid(c.saver) != 0))
                return 2;
            std::string refused = replace_refusal(model.c_str());
            Handle h;
            XMLcreateNewDoc(&h, "NEW");
            testing::internal::CaptureStderr();
            int saved = XMLsave(&h, model.c_str());
            std::string said = testing::internal::GetCapturedStderr();
            std::string refusal = "Can't write the xml file\n" + model + ": " + c.why + "\n";
            bool told = said == (c.why.empty() ? "" : refusal);
            return refused == c.why && saved == c.why.empty() && told ? 7 : 1;
        });
        EXPECT_EQ(result, 7) << c.what;
        EXPECT_EQ(read_text(file), c.why.empty() ? "<NEW/>" : c.fileMode ? "<OLD/>" : "") << c.what;
        if (c.saver != 0) {  // written in place or refused
            EXPECT_EQ(inode_of(file), before) << c.what;
        }
        EXPECT_EQ(entries_of(folder), std::vector<std::string>{"model.xml"}) << c.what;
    }
}

// Several files are replaced together or not at all: a refused second file
// leaves the first as it was, and the reason names the file at fault.
TEST(Writer, SeveralFilesAreReplacedAllOrNone)
{
    namespace fs = std::filesystem;
    std::string folder = scratch("pair");
    fs::create_directories(folder + "/second");
    write_text(folder + "/first", "old");
    size_t failed = 9;
    std::string why;
    EXPECT_FALSE(replace_files({{folder + "/first", "new"}, {folder + "/second", "new"}},
                               &failed, &why));
    EXPECT_EQ(failed, 1u);
    EXPECT_EQ(why, "Is a directory");
    EXPECT_EQ(read_text(folder + "/first"), "old");
    fs::remove(folder + "/second");
    EXPECT_TRUE(replace_files({{folder + "/first", "one"}, {folder + "/second", "two"}},
                              &failed, &why));
    EXPECT_EQ(read_text(folder + "/first"), "one");
    EXPECT_EQ(read_text(folder + "/second"), "two");
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        entries += entry.is_regular_file() ? 1 : 100;
    EXPECT_EQ(entries, 2);
}

// The test a long job runs before it starts: a file that does not exist yet
// needs a name and a folder that exists and takes new files.
TEST(Writer, ReplaceRefusalCoversFilesNotYetMade)
{
    namespace fs = std::filesystem;
    std::string folder = scratch("refusal");
    fs::create_directories(folder + "/sub");
    write_text(folder + "/plain", "x");
    fs::remove(folder + "/to-missing");
    fs::remove(folder + "/to-new");
    fs::create_symlink("gone/model.xml", folder + "/to-missing");
    fs::create_symlink("sub/model.xml", folder + "/to-new");
    const struct {
        std::string path;
        std::string why;
    } cases[] = {
        {"", "the file name is empty"},
        {folder + "/sub/new.xml", ""},
        {folder + "/plain", ""},
        {folder + "/no/such/new.xml", "No such file or directory"},
        {folder + "/plain/new.xml", "Not a directory"},
        {folder + "/sub", "Is a directory"},
        {folder + "/to-missing", "No such file or directory"},
        {folder + "/to-new", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(replace_refusal(c.path.c_str()), c.why) << c.path;
}
