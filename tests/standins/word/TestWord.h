// What a test uses to drive the Word stand-in: a fresh data folder named
// in the environment (servers started from then on use it), the knob that
// fails a member, the trace of calls, the end of the servers, changes to
// the registration that the destructor undoes, and .docx files.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace word_standin {

class CTestWord
{
public:
    CTestWord();
    ~CTestWord();
    CTestWord(const CTestWord&) = delete;
    CTestWord& operator=(const CTestWord&) = delete;

    const std::wstring& Folder() const { return m_folder; }

    // The next calls of `member` ("Open" or "Find.Execute") fail with hr;
    // with DISP_E_EXCEPTION Word's error number and, unless null, its
    // description come along (the number in scode as Word gives it, or with
    // inWCode in wCode). atNames: GetIDsOfNames fails instead of Invoke.
    void FailMember(LPCWSTR member, HRESULT hr, UINT argErr = 0, WORD code = 0, LPCWSTR description = NULL,
                    bool atNames = false, bool inWCode = false);
    void ClearFailure();

    // The lines of calls.log so far; ClearCalls starts it again.
    std::vector<std::wstring> Calls() const;
    void ClearCalls();
    // How many servers the trace shows started, and whether every one of
    // them has ended, waiting at most timeoutMs.
    int ServersStarted() const;
    bool WaitForServersEnded(DWORD timeoutMs);

    // Without the ProgID's key, and with LocalServer32 naming a missing
    // program; each undone by RestoreRegistration and the destructor.
    bool HideProgId();
    bool BreakServerPath();
    bool RestoreRegistration();

private:
    std::wstring m_folder;
    std::wstring m_serverPath; // LocalServer32 as registered
};

// Where a paragraph of a test document stands: in the body (the main text
// story), in a text box anchored in the body, in the header or the footer.
enum class DocxStory { Body, TextBox, Header, Footer };
struct DocxParagraph
{
    DocxStory story;
    std::wstring text;
};

// A .docx holding the paragraphs in the body, each paragraph's text in one
// <w:t> run (XML-escaped here); false when it cannot be written.
bool MakeDocx(const std::wstring& path, const std::vector<std::wstring>& paragraphs);
// The same with each paragraph in its story: a text box as Word writes one
// (a drawing and its fallback shape, each holding the text, so its runs
// read twice), the header in word/header1.xml, the footer in word/footer1.xml.
bool MakeDocxStories(const std::wstring& path, const std::vector<DocxParagraph>& paragraphs);
// The texts of the <w:t> runs of one part of the document, unescaped.
bool ReadDocxTexts(const std::wstring& path, std::vector<std::wstring>& texts,
                   const char* part = "word/document.xml");

} // namespace word_standin
