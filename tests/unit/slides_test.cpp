// Slide files: cutting the body at its h2 children, the navigation lines,
// the click-to-advance division and the removal of stale slide files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "output/slides.h"
#include "output_test_support.h"

namespace varnel::test {
namespace {

// Runs each test inside a fresh temporary directory.
class SlidesTest : public OutputTest {
  protected:
    void SetUp() override {
        OutputTest::SetUp();
        options.split = true;
        char pattern[] = "/tmp/varnel-slides.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        old_dir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override {
        std::filesystem::current_path(old_dir_);
        std::filesystem::remove_all(dir_);
        OutputTest::TearDown();
    }

    static std::string read(const char* name) {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static bool exists(const char* name) { return std::filesystem::exists(name); }
    static void touch(const char* name) { std::ofstream(name) << "old"; }

    // Writes the slide files of the tree with the options the test set.
    bool create_slides() {
        lexer.options = options;
        return varnel::create_slides(&lexer, root, SlideFiles{});
    }

    // root > html > body, returning the body.
    Node* make_body() { return element(element(root, "html"), "body"); }

  private:
    std::filesystem::path dir_;
    std::filesystem::path old_dir_;
};

TEST_F(SlidesTest, CountsOnlyH2ChildrenOfTheBody) {
    Node* body = make_body();
    element(body, "p");
    element(body, "h2");
    element(element(body, "div"), "h2"); // nested: no slide
    element(body, "h2");
    EXPECT_EQ(count_slides(body), 3);
    EXPECT_EQ(count_slides(nullptr), 1);
}

TEST_F(SlidesTest, TwoSlidesWithNavigation) {
    Node* body = make_body();
    text(element(body, "p"), "one");
    text(element(body, "h2"), "two");
    text(element(body, "p"), "three");
    create_slides();

    EXPECT_EQ(read("slide1.html"), "<html>\n"
                                   "<body>\n"
                                   "<div onclick=\"document.location='slide2.html'\">\n"
                                   "<p>one</p>\n"
                                   "\n"
                                   "<br clear=\"all\">\n"
                                   "<hr>\n"
                                   "<center><small><a href=\"slide2.html\">next</a>"
                                   "</small></center>\n"
                                   "</div>\n"
                                   "</body>\n"
                                   "</html>\n"
                                   "\n");
    const std::string navigation = "<center><small><a href=\"slide1.html\">previous</a> | \n"
                                   "<a href=\"slide1.html\">start</a>\n"
                                   "</small></center>\n";
    EXPECT_EQ(read("slide2.html"), "<html>\n"
                                   "<body>\n"
                                   "<div onclick=\"document.location='slide1.html'\">\n" +
                                       navigation +
                                       "<hr>\n"
                                       "<h2>two</h2>\n"
                                       "\n"
                                       "<p>three</p>\n"
                                       "<br clear=\"all\">\n"
                                       "<hr>\n" +
                                       navigation +
                                       "</div>\n"
                                       "</body>\n"
                                       "</html>\n"
                                       "\n");
    EXPECT_FALSE(exists("slide3.html"));
}

TEST_F(SlidesTest, MiddleSlideLinksBothWays) {
    Node* body = make_body();
    for (const char* heading : {"a", "b", "c"})
        text(element(body, "h2"), heading);
    // The first child is an h2, so four slides are promised; the last one
    // finds no content and prints only its frame.
    create_slides();
    const std::string second = read("slide2.html");
    EXPECT_NE(second.find("<div onclick=\"document.location='slide3.html'\">\n"
                          "<center><small><a href=\"slide1.html\">previous</a> | \n"
                          "<a href=\"slide1.html\">start</a> | \n"
                          "<a href=\"slide3.html\">next</a></small></center>\n"
                          "<hr>\n"
                          "<h2>b</h2>\n"),
              std::string::npos)
        << second;
    EXPECT_EQ(read("slide4.html"), "<html>\n"
                                   "<body>\n"
                                   "<div onclick=\"document.location='slide1.html'\">\n"
                                   "<br clear=\"all\">\n"
                                   "<hr>\n"
                                   "<center><small><a href=\"slide3.html\">previous</a> | \n"
                                   "<a href=\"slide1.html\">start</a>\n"
                                   "</small></center>\n"
                                   "</div>\n"
                                   "</body>\n"
                                   "</html>\n"
                                   "\n");
}

TEST_F(SlidesTest, OneSlideWithoutHeadings) {
    Node* body = make_body();
    text(body, "x");
    text(element(body, "p"), "y");
    create_slides();
    // Text followed by a block gets its blank line as in the body.
    EXPECT_EQ(read("slide1.html"), "<html>\n"
                                   "<body>\n"
                                   "<div onclick=\"document.location='slide1.html'\">\n"
                                   "x\n"
                                   "\n"
                                   "<p>y</p>\n"
                                   "<br clear=\"all\">\n"
                                   "<hr>\n"
                                   "<center><small></small></center>\n"
                                   "</div>\n"
                                   "</body>\n"
                                   "</html>\n"
                                   "\n");
}

TEST_F(SlidesTest, EmptyBodyPrintsTheFrame) {
    make_body();
    create_slides();
    EXPECT_EQ(read("slide1.html"), "<html>\n"
                                   "<body>\n"
                                   "<div onclick=\"document.location='slide1.html'\">\n"
                                   "<br clear=\"all\">\n"
                                   "<hr>\n"
                                   "<center><small></small></center>\n"
                                   "</div>\n"
                                   "</body>\n"
                                   "</html>\n"
                                   "\n");
}

TEST_F(SlidesTest, XmlOutputAndIndentation) {
    options.output_xml = true;
    options.indent_content = true;
    options.uppercase_tags = true; // applies to the rule as to every tag
    Node* body = make_body();
    text(element(body, "h2"), "a");
    create_slides();
    // The h2 opens the first slide; its content sits one step inside the
    // body's content, and the frame lines at the content's indentation.
    const std::string navigation = "    <center><small><a href=\"slide2.html\">next</a>"
                                   "</small></center>\n";
    EXPECT_EQ(read("slide1.html"), "<HTML>\n"
                                   "  <BODY>\n"
                                   "    <div onclick=\"document.location='slide2.html'\">\n" +
                                       navigation +
                                       "    <HR />\n"
                                       "      <H2>\n"
                                       "        a\n"
                                       "      </H2>\n"
                                       "    <br clear=\"all\" />\n"
                                       "    <HR />\n" +
                                       navigation +
                                       "    </div>\n"
                                       "  </BODY>\n"
                                       "</HTML>\n"
                                       "\n");
}

TEST_F(SlidesTest, StaleSlideFilesAreRemovedUpToTheFirstGap) {
    for (const char* name : {"slide2.html", "slide3.html", "slide4.html", "slide6.html"}) {
        touch(name);
    }
    text(element(make_body(), "p"), "x");
    create_slides();
    EXPECT_TRUE(exists("slide1.html"));
    EXPECT_FALSE(exists("slide2.html"));
    EXPECT_FALSE(exists("slide3.html"));
    EXPECT_FALSE(exists("slide4.html"));
    EXPECT_TRUE(exists("slide6.html"));
    EXPECT_EQ(read("slide6.html"), "old"); // past the gap: left alone
}

TEST_F(SlidesTest, TransitionMetaOpensTheHeadOfEverySlide) {
    Node* html = element(root, "html");
    text(element(element(html, "head"), "title"), "T");
    text(element(element(html, "body"), "p"), "x");
    create_slides();
    // Appended http-equiv first, so content prints first.
    EXPECT_EQ(read("slide1.html"),
              "<html>\n"
              "<head>\n"
              "<meta content=\"blendTrans(Duration=3)\" http-equiv=\"Page-Enter\">\n"
              "<title>T</title>\n"
              "</head>\n"
              "<body>\n"
              "<div onclick=\"document.location='slide1.html'\">\n"
              "<p>x</p>\n"
              "<br clear=\"all\">\n"
              "<hr>\n"
              "<center><small></small></center>\n"
              "</div>\n"
              "</body>\n"
              "</html>\n"
              "\n");
    Node* meta = find_head(root)->first_child();
    EXPECT_TRUE(meta->implicit);
    EXPECT_EQ(meta->tag(), tag_meta);
}

TEST_F(SlidesTest, TransitionTextByKind) {
    Node* head = element(element(root, "html"), "head");
    add_slide_transition(&lexer, root, 5, 2.5);
    add_slide_transition(&lexer, root, 24, 1.0);
    add_slide_transition(&lexer, root, 23, 4.0);
    std::vector<std::string> contents;
    for (Node* meta = head->first_child(); meta != nullptr; meta = meta->next) {
        NodeAttribute* content = get_attribute(meta, "content");
        ASSERT_NE(content, nullptr);
        contents.emplace_back(content->value.value_or("(none)"));
        EXPECT_EQ(get_attribute(meta, "http-equiv")->value, "Page-Enter");
    }
    // Each new meta goes first.
    EXPECT_EQ(contents, (std::vector<std::string>{"revealTrans(Duration=4,Transition=23)",
                                                  "blendTrans(Duration=1)",
                                                  "revealTrans(Duration=2.5,Transition=5)"}));
}

TEST_F(SlidesTest, NoTransitionWithoutAHead) {
    Node* body = make_body();
    add_slide_transition(&lexer, root, -1, 3.0);
    EXPECT_EQ(find_head(root), nullptr);
    EXPECT_EQ(body->first_child(), nullptr);
    EXPECT_EQ(find_html(root)->first_child(), body);
}

} // namespace
} // namespace varnel::test
