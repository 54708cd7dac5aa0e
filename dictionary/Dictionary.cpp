#include "dictionary/Dictionary.h"

#include "core/TextLookup.h"
#include "dictionary/DictionaryChecksum.h"
#include "dictionary/DictionaryData.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLString.hpp>

#include <algorithm>
#include <iostream>

namespace xc = XERCES_CPP_NAMESPACE;

namespace {

// UTF-8 text of a toolkit string.
std::string ToUtf8(const XMLCh* text)
{
    if (text == nullptr)
        return {};
    xc::TranscodeToStr utf8(text, "UTF-8");
    return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

std::string MessageOf(const XMLCh* message)
{
    return ToUtf8(message);
}

// Replaces every backslash followed by the letter with the character; when
// any was replaced, a backslash that now stands before the character came
// from a doubled backslash and gets its original two characters back.
void ResolveOne(std::string& text, char letter, char character)
{
    const std::string escape{'\\', letter};
    bool replaced = false;
    for (std::size_t pos = text.find(escape); pos != std::string::npos; pos = text.find(escape, pos + 1)) {
        text.replace(pos, 2, 1, character);
        replaced = true;
    }
    if (!replaced)
        return;
    const std::string resolved{'\\', character};
    const std::string restored{'\\', '\\', letter};
    for (std::size_t pos = text.find(resolved); pos != std::string::npos;
         pos = text.find(resolved, pos + restored.size()))
        text.replace(pos, 2, restored);
}

// The DOM parser with the one setting it does not offer itself: a document
// type declaration is a fatal error. The dictionary never declares anything,
// and entities declared inside a file could expand without limit (a file of
// a kilobyte that takes minutes to parse).
class DoctypeRefusingParser : public xc::XercesDOMParser {
public:
    DoctypeRefusingParser() { getScanner()->setDisallowDTD(true); }
};

}  // namespace

// The XML toolkit's part of the dictionary: initialised with the dictionary,
// one DOM parser configured once and kept, and the element and attribute
// names converted once.
class CDictionaryParser {
public:
    CDictionaryParser()
    {
        try {
            xc::XMLPlatformUtils::Initialize("en_US");
            initialised = true;
        } catch (const xc::XMLException& e) {
            std::cerr << "Error during initialization! :\n" << MessageOf(e.getMessage()) << "\n";
            return;
        }
        errorHandler = std::make_unique<xc::HandlerBase>();  // raises on errors and fatal errors
        parser = std::make_unique<DoctypeRefusingParser>();
        parser->setValidationScheme(xc::XercesDOMParser::Val_Never);
        parser->setDoNamespaces(false);
        parser->setDoSchema(false);
        parser->setLoadExternalDTD(false);
        // The dictionary is built into the program; it never needs anything
        // from outside, so external entities are not resolved either.
        parser->setDisableDefaultEntityResolution(true);
        parser->setCreateEntityReferenceNodes(false);
        parser->setErrorHandler(errorHandler.get());

        nameDictionary = xc::XMLString::transcode("dictionary");
        nameTag = xc::XMLString::transcode("tag");
        nameEntry = xc::XMLString::transcode("entry");
        nameName = xc::XMLString::transcode("name");
        nameLang = xc::XMLString::transcode("lang");
    }

    ~CDictionaryParser()
    {
        parser.reset();
        errorHandler.reset();
        try {
            for (XMLCh** name : {&nameDictionary, &nameTag, &nameEntry, &nameName, &nameLang})
                if (*name)
                    xc::XMLString::release(name);
        } catch (...) {
            std::cerr << "Unknown exception encountered in CDictionary's dtor\n";
        }
        if (initialised) {
            try {
                xc::XMLPlatformUtils::Terminate();
            } catch (const xc::XMLException& e) {
                std::cerr << "XML toolkit teardown error: " << MessageOf(e.getMessage()) << "\n";
            }
        }
    }

    bool initialised = false;
    std::unique_ptr<xc::HandlerBase> errorHandler;
    std::unique_ptr<xc::XercesDOMParser> parser;
    XMLCh* nameDictionary = nullptr;
    XMLCh* nameTag = nullptr;
    XMLCh* nameEntry = nullptr;
    XMLCh* nameName = nullptr;
    XMLCh* nameLang = nullptr;
};

CDictionary& CDictionary::Instance()
{
    static CDictionary dictionary;
    return dictionary;
}

CDictionary::CDictionary() : parser(std::make_unique<CDictionaryParser>())
{
}

CDictionary::~CDictionary()
{
    tags.clear();
    languages.clear();
}

bool CDictionary::Load()
{
    return Load(kDictionaryData, kDictionaryDataSize);
}

bool CDictionary::Load(const unsigned char* data, std::size_t size)
{
    if (loadAttempted)
        return loaded;
    loadAttempted = true;

    if (data == nullptr || !parser->initialised)
        return false;
    CDictionaryChecksum checksum(data, size);
    if (!checksum.Check())
        return false;
    loaded = Parse(data, size);
    if (!loaded) {
        tags.clear();
        languages.clear();
    }
    return loaded;
}

bool CDictionary::Parse(const unsigned char* data, std::size_t size)
{
    xc::XercesDOMParser& dom = *parser->parser;
    try {
        xc::MemBufInputSource source(data, size, "wordlist", false);
        dom.parse(source);

        const xc::DOMDocument* document = dom.getDocument();
        const xc::DOMElement* root = document ? document->getDocumentElement() : nullptr;
        if (root == nullptr) {
            std::cout << "Exception message is: \nempty XML document\n";
            dom.resetDocumentPool();
            return false;
        }

        for (xc::DOMNode* node = root->getFirstChild(); node; node = node->getNextSibling()) {
            if (node->getNodeType() != xc::DOMNode::ELEMENT_NODE ||
                !xc::XMLString::equals(node->getNodeName(), parser->nameTag))
                continue;
            auto* tagElement = static_cast<xc::DOMElement*>(node);
            auto tag = std::make_unique<CDictionaryTag>(ToUtf8(tagElement->getAttribute(parser->nameName)));

            for (xc::DOMNode* child = tagElement->getFirstChild(); child; child = child->getNextSibling()) {
                if (child->getNodeType() != xc::DOMNode::ELEMENT_NODE ||
                    !xc::XMLString::equals(child->getNodeName(), parser->nameEntry))
                    continue;
                auto* entry = static_cast<xc::DOMElement*>(child);
                const std::string language = ToUtf8(entry->getAttribute(parser->nameLang));
                if (std::find(languages.begin(), languages.end(), language) == languages.end())
                    languages.push_back(language);
                try {
                    tag->SetText(language, ResolveEscapes(ToUtf8(entry->getTextContent())));
                } catch (const std::exception&) {
                    std::cerr << "Error: Translation already exists\n";
                }
            }
            const std::string key = tag->GetName();
            tags[key] = std::move(tag);
        }
        dom.resetDocumentPool();
        return true;
    } catch (const xc::XMLException& e) {
        std::cout << "Exception message is: \n" << MessageOf(e.getMessage()) << "\n";
    } catch (const xc::DOMException& e) {
        std::cout << "Exception message is: \n" << MessageOf(e.getMessage()) << "\n";
    } catch (const xc::SAXParseException& e) {
        std::cout << "Exception message is: \n" << MessageOf(e.getMessage()) << "\n";
    } catch (...) {
        std::cout << "Unexpected Exception \n";
    }
    dom.resetDocumentPool();
    return false;
}

std::string CDictionary::Translate(const std::string& key) const
{
    const std::string language = GetLanguage();
    try {
        const auto it = tags.find(key);
        if (it == tags.end() || !it->second->HasTexts())
            return kMissingText;
        const std::string* text = it->second->FindText(language);
        if (text == nullptr || text->empty())
            return kMissingText;
        return *text;
    } catch (...) {
        return "NA";
    }
}

bool CDictionary::SetLanguage(const std::string& language)
{
    if (!IsLanguage(language))
        return false;
    std::lock_guard<std::mutex> guard(languageLock);
    currentLanguage = language;
    return true;
}

bool CDictionary::IsLanguage(const std::string& language) const
{
    return std::find(languages.begin(), languages.end(), language) != languages.end();
}

std::string CDictionary::GetLanguage() const
{
    std::lock_guard<std::mutex> guard(languageLock);
    return currentLanguage;
}

std::string CDictionary::ResolveEscapes(std::string text)
{
    ResolveOne(text, 'n', '\n');
    ResolveOne(text, 't', '\t');
    return text;
}

void CDictionary::InstallAsTextLookup()
{
    SetTextLookup([this](const std::string& key) { return Translate(key); });
}

std::vector<std::string> CDictionary::GetKeys() const
{
    std::vector<std::string> keys;
    keys.reserve(tags.size());
    for (const auto& entry : tags)
        keys.push_back(entry.first);
    return keys;
}
