/* Clean text: what the row, the tooltip and the combo box show of a feed's
   title or description. Feeds put escaped HTML into their texts; it is read
   once, in one pass, so nothing that a reference decodes to is ever read as
   markup again. Plain function, any thread. */
#include "feeds/feeds.h"

struct NamedEntity {
    char name[9];
    unsigned short codePoint;
};

/* The HTML named entities, sorted by name as the code units compare. */
static const NamedEntity namedEntities[] = {
    { "AElig", 198 }, { "Aacute", 193 }, { "Acirc", 194 }, { "Agrave", 192 }, { "Alpha", 913 },
    { "Aring", 197 }, { "Atilde", 195 }, { "Auml", 196 }, { "Beta", 914 }, { "Ccedil", 199 },
    { "Chi", 935 }, { "Dagger", 8225 }, { "Delta", 916 }, { "ETH", 208 }, { "Eacute", 201 },
    { "Ecirc", 202 }, { "Egrave", 200 }, { "Epsilon", 917 }, { "Eta", 919 }, { "Euml", 203 },
    { "Gamma", 915 }, { "Iacute", 205 }, { "Icirc", 206 }, { "Igrave", 204 }, { "Iota", 921 },
    { "Iuml", 207 }, { "Kappa", 922 }, { "Lambda", 923 }, { "Mu", 924 }, { "Ntilde", 209 },
    { "Nu", 925 }, { "OElig", 338 }, { "Oacute", 211 }, { "Ocirc", 212 }, { "Ograve", 210 },
    { "Omega", 937 }, { "Omicron", 927 }, { "Oslash", 216 }, { "Otilde", 213 }, { "Ouml", 214 },
    { "Phi", 934 }, { "Pi", 928 }, { "Prime", 8243 }, { "Psi", 936 }, { "Rho", 929 },
    { "Scaron", 352 }, { "Sigma", 931 }, { "THORN", 222 }, { "Tau", 932 }, { "Theta", 920 },
    { "Uacute", 218 }, { "Ucirc", 219 }, { "Ugrave", 217 }, { "Upsilon", 933 }, { "Uuml", 220 },
    { "Xi", 926 }, { "Yacute", 221 }, { "Yuml", 376 }, { "Zeta", 918 }, { "aacute", 225 },
    { "acirc", 226 }, { "acute", 180 }, { "aelig", 230 }, { "agrave", 224 },
    { "alefsym", 8501 }, { "alpha", 945 }, { "amp", 38 }, { "and", 8743 }, { "ang", 8736 },
    { "apos", 39 }, { "aring", 229 }, { "asymp", 8776 }, { "atilde", 227 }, { "auml", 228 },
    { "bdquo", 8222 }, { "beta", 946 }, { "brvbar", 166 }, { "bull", 8226 }, { "cap", 8745 },
    { "ccedil", 231 }, { "cedil", 184 }, { "cent", 162 }, { "chi", 967 }, { "circ", 710 },
    { "clubs", 9827 }, { "cong", 8773 }, { "copy", 169 }, { "crarr", 8629 }, { "cup", 8746 },
    { "curren", 164 }, { "dArr", 8659 }, { "dagger", 8224 }, { "darr", 8595 }, { "deg", 176 },
    { "delta", 948 }, { "diams", 9830 }, { "divide", 247 }, { "eacute", 233 }, { "ecirc", 234 },
    { "egrave", 232 }, { "empty", 8709 }, { "emsp", 8195 }, { "ensp", 8194 },
    { "epsilon", 949 }, { "equiv", 8801 }, { "eta", 951 }, { "eth", 240 }, { "euml", 235 },
    { "euro", 8364 }, { "exist", 8707 }, { "fnof", 402 }, { "forall", 8704 }, { "frac12", 189 },
    { "frac14", 188 }, { "frac34", 190 }, { "frasl", 8260 }, { "gamma", 947 }, { "ge", 8805 },
    { "gt", 62 }, { "hArr", 8660 }, { "harr", 8596 }, { "hearts", 9829 }, { "hellip", 8230 },
    { "iacute", 237 }, { "icirc", 238 }, { "iexcl", 161 }, { "igrave", 236 }, { "image", 8465 },
    { "infin", 8734 }, { "int", 8747 }, { "iota", 953 }, { "iquest", 191 }, { "isin", 8712 },
    { "iuml", 239 }, { "kappa", 954 }, { "lArr", 8656 }, { "lambda", 955 }, { "lang", 9001 },
    { "laquo", 171 }, { "larr", 8592 }, { "lceil", 8968 }, { "ldquo", 8220 }, { "le", 8804 },
    { "lfloor", 8970 }, { "lowast", 8727 }, { "loz", 9674 }, { "lrm", 8206 },
    { "lsaquo", 8249 }, { "lsquo", 8216 }, { "lt", 60 }, { "macr", 175 }, { "mdash", 8212 },
    { "micro", 181 }, { "middot", 183 }, { "minus", 8722 }, { "mu", 956 }, { "nabla", 8711 },
    { "nbsp", 160 }, { "ndash", 8211 }, { "ne", 8800 }, { "ni", 8715 }, { "not", 172 },
    { "notin", 8713 }, { "nsub", 8836 }, { "ntilde", 241 }, { "nu", 957 }, { "oacute", 243 },
    { "ocirc", 244 }, { "oelig", 339 }, { "ograve", 242 }, { "oline", 8254 }, { "omega", 969 },
    { "omicron", 959 }, { "oplus", 8853 }, { "or", 8744 }, { "ordf", 170 }, { "ordm", 186 },
    { "oslash", 248 }, { "otilde", 245 }, { "otimes", 8855 }, { "ouml", 246 }, { "para", 182 },
    { "part", 8706 }, { "permil", 8240 }, { "perp", 8869 }, { "phi", 966 }, { "pi", 960 },
    { "piv", 982 }, { "plusmn", 177 }, { "pound", 163 }, { "prime", 8242 }, { "prod", 8719 },
    { "prop", 8733 }, { "psi", 968 }, { "quot", 34 }, { "rArr", 8658 }, { "radic", 8730 },
    { "rang", 9002 }, { "raquo", 187 }, { "rarr", 8594 }, { "rceil", 8969 }, { "rdquo", 8221 },
    { "real", 8476 }, { "reg", 174 }, { "rfloor", 8971 }, { "rho", 961 }, { "rlm", 8207 },
    { "rsaquo", 8250 }, { "rsquo", 8217 }, { "sbquo", 8218 }, { "scaron", 353 },
    { "sdot", 8901 }, { "sect", 167 }, { "shy", 173 }, { "sigma", 963 }, { "sigmaf", 962 },
    { "sim", 8764 }, { "spades", 9824 }, { "sub", 8834 }, { "sube", 8838 }, { "sum", 8721 },
    { "sup", 8835 }, { "sup1", 185 }, { "sup2", 178 }, { "sup3", 179 }, { "supe", 8839 },
    { "szlig", 223 }, { "tau", 964 }, { "there4", 8756 }, { "theta", 952 }, { "thetasym", 977 },
    { "thinsp", 8201 }, { "thorn", 254 }, { "tilde", 732 }, { "times", 215 }, { "trade", 8482 },
    { "uArr", 8657 }, { "uacute", 250 }, { "uarr", 8593 }, { "ucirc", 251 }, { "ugrave", 249 },
    { "uml", 168 }, { "upsih", 978 }, { "upsilon", 965 }, { "uuml", 252 }, { "weierp", 8472 },
    { "xi", 958 }, { "yacute", 253 }, { "yen", 165 }, { "yuml", 255 }, { "zeta", 950 },
    { "zwj", 8205 }, { "zwnj", 8204 },
};

#define ENTITY_NAME_MAX 8
#define REPLACEMENT_CHAR 0xFFFD

static int CompareEntityName(const WCHAR *name, int length, const char *entry)
{
    for (int i = 0; i < length; i++) {
        WCHAR other = (unsigned char)entry[i];
        if (name[i] != other)
            return !other || name[i] > other ? 1 : -1;
    }
    return entry[length] ? -1 : 0;
}

static UINT FindNamedEntity(const WCHAR *name, int length)
{
    int low = 0;
    int high = (int)(sizeof(namedEntities) / sizeof(namedEntities[0])) - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        int order = CompareEntityName(name, length, namedEntities[middle].name);
        if (order == 0)
            return namedEntities[middle].codePoint;
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return 0;
}

int ReferenceDigit(WCHAR c, BOOL hex)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (hex && c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (hex && c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

static BOOL IsAsciiAlnum(WCHAR c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

/* The reference at text ('&' first): its length, with its code point, or 0
   when it is none. Only references closed by ';' count, so "AT&T" stays. */
static int ReadReference(const WCHAR *text, const WCHAR *end, UINT *codePoint)
{
    const WCHAR *p = text + 1;
    UINT value = 0;
    if (p < end && *p == L'#') {
        p++;
        BOOL hex = p < end && (*p == L'x' || *p == L'X');
        p += hex;
        const WCHAR *digits = p;
        /* Eight digits at most, so the value cannot overflow. */
        for (int digit; p < end && p - digits < 8 && (digit = ReferenceDigit(*p, hex)) >= 0; p++)
            value = value * (hex ? 16 : 10) + digit;
        if (p == digits)
            return 0;
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            value = REPLACEMENT_CHAR;
    } else {
        const WCHAR *name = p;
        while (p < end && p - name < ENTITY_NAME_MAX && IsAsciiAlnum(*p))
            p++;
        value = p > name ? FindNamedEntity(name, (int)(p - name)) : 0;
    }
    if (!value || p >= end || *p != L';')
        return 0;
    *codePoint = value;
    return (int)(p + 1 - text);
}

static BOOL IsSpace(UINT c)
{
    return c <= 0x20 || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029;
}

struct CleanWriter {
    WCHAR *out;
    UINT length;
    UINT size;
    BOOL space;     /* a space is owed before the next character */
};

/* Runs of white space become one space, never at either end. */
static void PutChar(CleanWriter *writer, UINT c)
{
    if (IsSpace(c)) {
        writer->space = writer->length > 0;
        return;
    }
    UINT units = c > 0xFFFF ? 2 : 1;
    if (writer->length + writer->space + units > writer->size)
        return;
    if (writer->space)
        writer->out[writer->length++] = L' ';
    writer->space = FALSE;
    if (units == 2) {
        writer->out[writer->length++] = (WCHAR)(0xD800 + ((c - 0x10000) >> 10));
        writer->out[writer->length++] = (WCHAR)(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        writer->out[writer->length++] = (WCHAR)c;
    }
}

static BOOL StartsWith(const WCHAR *text, const WCHAR *end, const WCHAR *prefix)
{
    for (; *prefix; text++, prefix++)
        if (text >= end || *text != *prefix)
            return FALSE;
    return TRUE;
}

static const WCHAR *FindText(const WCHAR *text, const WCHAR *end, const WCHAR *wanted)
{
    for (; text < end; text++)
        if (StartsWith(text, end, wanted))
            return text;
    return NULL;
}

/* Tags after which a browser would start a new line: their place becomes a
   space, where an inline tag such as <b> joins its neighbours. */
static BOOL TagBreaksText(const WCHAR *name, int length)
{
    static const char *const breaking[] = {
        "br", "p", "div", "li", "ul", "ol", "dd", "dt", "dl", "tr", "td", "th", "table",
        "h1", "h2", "h3", "h4", "h5", "h6", "hr", "blockquote", "pre", "img",
    };
    for (size_t b = 0; b < sizeof(breaking) / sizeof(breaking[0]); b++) {
        int i = 0;
        while (i < length && breaking[b][i] && (name[i] | 0x20) == breaking[b][i])
            i++;
        if (i == length && !breaking[b][i])
            return TRUE;
    }
    return FALSE;
}

/* The tag at text ('<' first) up to its '>', quoted attribute values
   included; 0 when the '<' opens no tag ("a < b", or never closed). */
static int TagLength(const WCHAR *text, const WCHAR *end, BOOL *breaks)
{
    const WCHAR *p = text + 1;
    BOOL closing = p < end && *p == L'/';
    p += closing;
    BOOL letter = p < end && (*p | 0x20) >= L'a' && (*p | 0x20) <= L'z';
    BOOL declaration = !closing && p < end && (*p == L'!' || *p == L'?');
    if (!letter && !declaration)
        return 0;
    const WCHAR *name = p;
    while (p < end && IsAsciiAlnum(*p))
        p++;
    *breaks = TagBreaksText(name, (int)(p - name));
    for (WCHAR quote = 0; p < end; p++) {
        if (quote)
            quote = *p == quote ? 0 : quote;
        else if (*p == L'"' || *p == L'\'')
            quote = *p;
        else if (*p == L'>')
            return (int)(p + 1 - text);
    }
    return 0;
}

/* Markup at text ('<' first): a comment, a CDATA section (whose content is
   shown as it stands) or a tag; the characters it takes, or 0 for none. */
static int SkipMarkup(const WCHAR *text, const WCHAR *end, CleanWriter *writer)
{
    if (StartsWith(text, end, L"<!--")) {
        const WCHAR *close = FindText(text + 4, end, L"-->");
        return close ? (int)(close + 3 - text) : (int)(end - text);
    }
    if (StartsWith(text, end, L"<![CDATA[")) {
        const WCHAR *content = text + 9;
        const WCHAR *close = FindText(content, end, L"]]>");
        const WCHAR *stop = close ? close : end;
        for (const WCHAR *p = content; p < stop; p++)
            PutChar(writer, *p);
        return close ? (int)(close + 3 - text) : (int)(end - text);
    }
    BOOL breaks = FALSE;
    int length = TagLength(text, end, &breaks);
    if (length && breaks)
        PutChar(writer, L' ');
    return length;
}

BSTR CleanFeedText(const WCHAR *text, int form)
{
    if (!text)
        return NULL;
    UINT length = (UINT)lstrlenW(text);
    /* Nothing here makes the text longer: each reference, tag or run of
       white space is at least as long as what takes its place. */
    WCHAR *out = (WCHAR *)GlobalAlloc(GMEM_FIXED, (length + 1) * sizeof(WCHAR));
    if (!out)
        return NULL;
    CleanWriter writer = { out, 0, length, FALSE };
    const WCHAR *end = text + length;
    for (const WCHAR *p = text; p < end;) {
        int taken = 0;
        UINT codePoint = 0;
        if (form == FEED_TEXT_HTML && *p == L'<')
            taken = SkipMarkup(p, end, &writer);
        else if (form == FEED_TEXT_HTML && *p == L'&' && (taken = ReadReference(p, end, &codePoint)))
            PutChar(&writer, codePoint);
        if (!taken) {
            PutChar(&writer, *p);
            taken = 1;
        }
        p += taken;
    }
    BSTR clean = SysAllocStringLen(out, writer.length);
    GlobalFree(out);
    return clean;
}
