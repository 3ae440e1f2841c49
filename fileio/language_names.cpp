// The language table, written from the LANGID values Windows defines (winnt.h's LANG_ and
// SUBLANG_ constants) with the names its language list uses, and the locale names glibc gives
// the same languages (ll_CC, with @latin/@cyrillic where a language has two scripts).
#include "fileio/language_names.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/locale.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

struct Language {
  uint16_t id;
  const char* locale;  // "" when no Linux locale stands for it
  const char* name;    // UTF-8
};

// Sorted by id (checked below), so that a name is found by binary search.
constexpr Language kLanguages[] = {
    {0x0000, "", "Language Neutral"},
    {0x007F, "", "Invariant Language"},
    {0x0401, "ar_SA", "Arabic (Saudi Arabia)"},
    {0x0402, "bg_BG", "Bulgarian"},
    {0x0403, "ca_ES", "Catalan"},
    {0x0404, "zh_TW", "Chinese (Taiwan)"},
    {0x0405, "cs_CZ", "Czech"},
    {0x0406, "da_DK", "Danish"},
    {0x0407, "de_DE", "German (Germany)"},
    {0x0408, "el_GR", "Greek"},
    {0x0409, "en_US", "English (United States)"},
    {0x040A, "", "Spanish (Traditional Sort)"},
    {0x040B, "fi_FI", "Finnish"},
    {0x040C, "fr_FR", "French (France)"},
    {0x040D, "he_IL", "Hebrew"},
    {0x040E, "hu_HU", "Hungarian"},
    {0x040F, "is_IS", "Icelandic"},
    {0x0410, "it_IT", "Italian (Italy)"},
    {0x0411, "ja_JP", "Japanese"},
    {0x0412, "ko_KR", "Korean"},
    {0x0413, "nl_NL", "Dutch (Netherlands)"},
    {0x0414, "nb_NO", "Norwegian (Bokmål)"},
    {0x0415, "pl_PL", "Polish"},
    {0x0416, "pt_BR", "Portuguese (Brazil)"},
    {0x0417, "rm_CH", "Romansh"},
    {0x0418, "ro_RO", "Romanian (Romania)"},
    {0x0419, "ru_RU", "Russian"},
    {0x041A, "hr_HR", "Croatian (Croatia)"},
    {0x041B, "sk_SK", "Slovak"},
    {0x041C, "sq_AL", "Albanian"},
    {0x041D, "sv_SE", "Swedish (Sweden)"},
    {0x041E, "th_TH", "Thai"},
    {0x041F, "tr_TR", "Turkish"},
    {0x0420, "ur_PK", "Urdu (Pakistan)"},
    {0x0421, "id_ID", "Indonesian"},
    {0x0422, "uk_UA", "Ukrainian"},
    {0x0423, "be_BY", "Belarusian"},
    {0x0424, "sl_SI", "Slovenian"},
    {0x0425, "et_EE", "Estonian"},
    {0x0426, "lv_LV", "Latvian"},
    {0x0427, "lt_LT", "Lithuanian"},
    {0x0428, "tg_TJ", "Tajik"},
    {0x0429, "fa_IR", "Persian"},
    {0x042A, "vi_VN", "Vietnamese"},
    {0x042B, "hy_AM", "Armenian"},
    {0x042C, "az_AZ", "Azerbaijani (Latin)"},
    {0x042D, "eu_ES", "Basque"},
    {0x042E, "hsb_DE", "Upper Sorbian"},
    {0x042F, "mk_MK", "Macedonian"},
    {0x0430, "st_ZA", "Sesotho"},
    {0x0431, "ts_ZA", "Xitsonga"},
    {0x0432, "tn_ZA", "Setswana (South Africa)"},
    {0x0433, "ve_ZA", "Venda"},
    {0x0434, "xh_ZA", "isiXhosa"},
    {0x0435, "zu_ZA", "isiZulu"},
    {0x0436, "af_ZA", "Afrikaans"},
    {0x0437, "ka_GE", "Georgian"},
    {0x0438, "fo_FO", "Faroese"},
    {0x0439, "hi_IN", "Hindi"},
    {0x043A, "mt_MT", "Maltese"},
    {0x043B, "se_NO", "Sami (Northern, Norway)"},
    {0x043E, "ms_MY", "Malay (Malaysia)"},
    {0x043F, "kk_KZ", "Kazakh"},
    {0x0440, "ky_KG", "Kyrgyz"},
    {0x0441, "sw_KE", "Kiswahili"},
    {0x0442, "tk_TM", "Turkmen"},
    {0x0443, "uz_UZ", "Uzbek (Latin)"},
    {0x0444, "tt_RU", "Tatar"},
    {0x0445, "bn_IN", "Bangla (India)"},
    {0x0446, "pa_IN", "Punjabi (India)"},
    {0x0447, "gu_IN", "Gujarati"},
    {0x0448, "or_IN", "Odia"},
    {0x0449, "ta_IN", "Tamil (India)"},
    {0x044A, "te_IN", "Telugu"},
    {0x044B, "kn_IN", "Kannada"},
    {0x044C, "ml_IN", "Malayalam"},
    {0x044D, "as_IN", "Assamese"},
    {0x044E, "mr_IN", "Marathi"},
    {0x044F, "sa_IN", "Sanskrit"},
    {0x0450, "mn_MN", "Mongolian (Cyrillic)"},
    {0x0451, "bo_CN", "Tibetan"},
    {0x0452, "cy_GB", "Welsh"},
    {0x0453, "km_KH", "Khmer"},
    {0x0454, "lo_LA", "Lao"},
    {0x0455, "my_MM", "Burmese"},
    {0x0456, "gl_ES", "Galician"},
    {0x0457, "kok_IN", "Konkani"},
    {0x0458, "mni_IN", "Manipuri"},
    {0x0459, "sd_IN", "Sindhi (Devanagari)"},
    {0x045A, "syr_SY", "Syriac"},
    {0x045B, "si_LK", "Sinhala"},
    {0x045C, "chr_US", "Cherokee"},
    {0x045D, "iu_CA", "Inuktitut (Syllabics)"},
    {0x045E, "am_ET", "Amharic"},
    {0x045F, "", "Tamazight (Arabic)"},
    {0x0460, "ks_IN", "Kashmiri (Arabic)"},
    {0x0461, "ne_NP", "Nepali (Nepal)"},
    {0x0462, "fy_NL", "Frisian"},
    {0x0463, "ps_AF", "Pashto"},
    {0x0464, "fil_PH", "Filipino"},
    {0x0465, "dv_MV", "Divehi"},
    {0x0467, "ff_SN", "Fulah"},
    {0x0468, "ha_NG", "Hausa"},
    {0x046A, "yo_NG", "Yoruba"},
    {0x046B, "quz_BO", "Quechua (Bolivia)"},
    {0x046C, "nso_ZA", "Sesotho sa Leboa"},
    {0x046D, "ba_RU", "Bashkir"},
    {0x046E, "lb_LU", "Luxembourgish"},
    {0x046F, "kl_GL", "Greenlandic"},
    {0x0470, "ig_NG", "Igbo"},
    {0x0472, "om_ET", "Oromo"},
    {0x0473, "ti_ET", "Tigrinya (Ethiopia)"},
    {0x0474, "gn_PY", "Guarani"},
    {0x0475, "haw_US", "Hawaiian"},
    {0x0476, "la_VA", "Latin"},
    {0x0477, "so_SO", "Somali"},
    {0x0478, "ii_CN", "Yi"},
    {0x047A, "arn_CL", "Mapudungun"},
    {0x047C, "moh_CA", "Mohawk"},
    {0x047E, "br_FR", "Breton"},
    {0x0480, "ug_CN", "Uyghur"},
    {0x0481, "mi_NZ", "Maori"},
    {0x0482, "oc_FR", "Occitan"},
    {0x0483, "co_FR", "Corsican"},
    {0x0484, "gsw_FR", "Alsatian"},
    {0x0485, "sah_RU", "Sakha"},
    {0x0486, "quc_GT", "K'iche'"},
    {0x0487, "rw_RW", "Kinyarwanda"},
    {0x0488, "wo_SN", "Wolof"},
    {0x048C, "prs_AF", "Dari"},
    {0x0491, "gd_GB", "Scottish Gaelic"},
    {0x0492, "ckb_IQ", "Central Kurdish"},
    {0x0801, "ar_IQ", "Arabic (Iraq)"},
    {0x0803, "ca_ES@valencia", "Valencian"},
    {0x0804, "zh_CN", "Chinese (PRC)"},
    {0x0807, "de_CH", "German (Switzerland)"},
    {0x0809, "en_GB", "English (United Kingdom)"},
    {0x080A, "es_MX", "Spanish (Mexico)"},
    {0x080C, "fr_BE", "French (Belgium)"},
    {0x0810, "it_CH", "Italian (Switzerland)"},
    {0x0813, "nl_BE", "Dutch (Belgium)"},
    {0x0814, "nn_NO", "Norwegian (Nynorsk)"},
    {0x0816, "pt_PT", "Portuguese (Portugal)"},
    {0x0818, "ro_MD", "Romanian (Moldova)"},
    {0x081A, "sr_CS@latin", "Serbian (Latin, Serbia and Montenegro (Former))"},
    {0x081D, "sv_FI", "Swedish (Finland)"},
    {0x0820, "ur_IN", "Urdu (India)"},
    {0x082C, "az_AZ@cyrillic", "Azerbaijani (Cyrillic)"},
    {0x082E, "dsb_DE", "Lower Sorbian"},
    {0x0832, "tn_BW", "Setswana (Botswana)"},
    {0x083B, "se_SE", "Sami (Northern, Sweden)"},
    {0x083C, "ga_IE", "Irish"},
    {0x083E, "ms_BN", "Malay (Brunei Darussalam)"},
    {0x0843, "uz_UZ@cyrillic", "Uzbek (Cyrillic)"},
    {0x0845, "bn_BD", "Bangla (Bangladesh)"},
    {0x0846, "pa_PK", "Punjabi (Pakistan)"},
    {0x0849, "ta_LK", "Tamil (Sri Lanka)"},
    {0x0850, "mn_CN", "Mongolian (Traditional Mongolian)"},
    {0x0859, "sd_PK", "Sindhi (Arabic)"},
    {0x085D, "", "Inuktitut (Latin)"},
    {0x085F, "tzm_MA", "Tamazight (Latin)"},
    {0x0861, "ne_IN", "Nepali (India)"},
    {0x086B, "quz_EC", "Quechua (Ecuador)"},
    {0x0873, "ti_ER", "Tigrinya (Eritrea)"},
    {0x0C01, "ar_EG", "Arabic (Egypt)"},
    {0x0C04, "zh_HK", "Chinese (Hong Kong S.A.R.)"},
    {0x0C07, "de_AT", "German (Austria)"},
    {0x0C09, "en_AU", "English (Australia)"},
    {0x0C0A, "es_ES", "Spanish (Spain)"},
    {0x0C0C, "fr_CA", "French (Canada)"},
    {0x0C1A, "sr_CS", "Serbian (Cyrillic, Serbia and Montenegro (Former))"},
    {0x0C3B, "se_FI", "Sami (Northern, Finland)"},
    {0x0C6B, "quz_PE", "Quechua (Peru)"},
    {0x1001, "ar_LY", "Arabic (Libya)"},
    {0x1004, "zh_SG", "Chinese (Singapore)"},
    {0x1007, "de_LU", "German (Luxembourg)"},
    {0x1009, "en_CA", "English (Canada)"},
    {0x100A, "es_GT", "Spanish (Guatemala)"},
    {0x100C, "fr_CH", "French (Switzerland)"},
    {0x101A, "hr_BA", "Croatian (Bosnia and Herzegovina)"},
    {0x103B, "", "Sami (Lule, Norway)"},
    {0x1401, "ar_DZ", "Arabic (Algeria)"},
    {0x1404, "zh_MO", "Chinese (Macao S.A.R.)"},
    {0x1407, "de_LI", "German (Liechtenstein)"},
    {0x1409, "en_NZ", "English (New Zealand)"},
    {0x140A, "es_CR", "Spanish (Costa Rica)"},
    {0x140C, "fr_LU", "French (Luxembourg)"},
    {0x141A, "bs_BA", "Bosnian (Latin)"},
    {0x143B, "", "Sami (Lule, Sweden)"},
    {0x1801, "ar_MA", "Arabic (Morocco)"},
    {0x1809, "en_IE", "English (Ireland)"},
    {0x180A, "es_PA", "Spanish (Panama)"},
    {0x180C, "fr_MC", "French (Monaco)"},
    {0x181A, "sr_BA@latin", "Serbian (Latin, Bosnia and Herzegovina)"},
    {0x183B, "", "Sami (Southern, Norway)"},
    {0x1C01, "ar_TN", "Arabic (Tunisia)"},
    {0x1C09, "en_ZA", "English (South Africa)"},
    {0x1C0A, "es_DO", "Spanish (Dominican Republic)"},
    {0x1C1A, "sr_BA", "Serbian (Cyrillic, Bosnia and Herzegovina)"},
    {0x1C3B, "", "Sami (Southern, Sweden)"},
    {0x2001, "ar_OM", "Arabic (Oman)"},
    {0x2009, "en_JM", "English (Jamaica)"},
    {0x200A, "es_VE", "Spanish (Venezuela)"},
    {0x201A, "bs_BA@cyrillic", "Bosnian (Cyrillic)"},
    {0x203B, "", "Sami (Skolt, Finland)"},
    {0x2401, "ar_YE", "Arabic (Yemen)"},
    {0x2409, "", "English (Caribbean)"},
    {0x240A, "es_CO", "Spanish (Colombia)"},
    {0x241A, "sr_RS@latin", "Serbian (Latin, Serbia)"},
    {0x243B, "", "Sami (Inari, Finland)"},
    {0x2801, "ar_SY", "Arabic (Syria)"},
    {0x2809, "en_BZ", "English (Belize)"},
    {0x280A, "es_PE", "Spanish (Peru)"},
    {0x281A, "sr_RS", "Serbian (Cyrillic, Serbia)"},
    {0x2C01, "ar_JO", "Arabic (Jordan)"},
    {0x2C09, "en_TT", "English (Trinidad and Tobago)"},
    {0x2C0A, "es_AR", "Spanish (Argentina)"},
    {0x2C1A, "sr_ME@latin", "Serbian (Latin, Montenegro)"},
    {0x3001, "ar_LB", "Arabic (Lebanon)"},
    {0x3009, "en_ZW", "English (Zimbabwe)"},
    {0x300A, "es_EC", "Spanish (Ecuador)"},
    {0x301A, "sr_ME", "Serbian (Cyrillic, Montenegro)"},
    {0x3401, "ar_KW", "Arabic (Kuwait)"},
    {0x3409, "en_PH", "English (Philippines)"},
    {0x340A, "es_CL", "Spanish (Chile)"},
    {0x3801, "ar_AE", "Arabic (U.A.E.)"},
    {0x380A, "es_UY", "Spanish (Uruguay)"},
    {0x3C01, "ar_BH", "Arabic (Bahrain)"},
    {0x3C0A, "es_PY", "Spanish (Paraguay)"},
    {0x4001, "ar_QA", "Arabic (Qatar)"},
    {0x4009, "en_IN", "English (India)"},
    {0x400A, "es_BO", "Spanish (Bolivia)"},
    {0x4409, "en_MY", "English (Malaysia)"},
    {0x440A, "es_SV", "Spanish (El Salvador)"},
    {0x4809, "en_SG", "English (Singapore)"},
    {0x480A, "es_HN", "Spanish (Honduras)"},
    {0x4C0A, "es_NI", "Spanish (Nicaragua)"},
    {0x500A, "es_PR", "Spanish (Puerto Rico)"},
    {0x540A, "es_US", "Spanish (United States)"},
};

constexpr bool SortedById() {
  for (size_t i = 1; i < std::size(kLanguages); ++i) {
    if (kLanguages[i - 1].id >= kLanguages[i].id) return false;
  }
  return true;
}
static_assert(SortedById(), "kLanguages must be sorted by id, without repeats");

constexpr uint16_t kEnglishUnitedStates = 0x0409;
constexpr uint16_t kPrimaryMask = 0x03FF;

const Language* FindById(uint16_t id) {
  auto at =
      std::lower_bound(std::begin(kLanguages), std::end(kLanguages), id,
                       [](const Language& language, uint16_t key) { return language.id < key; });
  return at != std::end(kLanguages) && at->id == id ? at : nullptr;
}

// The name of a language without its country: "English" of "English (United States)".
std::string PrimaryName(uint16_t primary) {
  for (const Language& language : kLanguages) {
    if ((language.id & kPrimaryMask) != primary || language.id == 0x007F) continue;
    std::string_view name = language.name;
    return std::string(name.substr(0, name.find(" (")));
  }
  return {};
}

std::string_view LanguagePart(std::string_view locale) {
  return locale.substr(0, locale.find('_'));
}

}  // namespace

std::u16string LanguageName(int64_t language_id) {
  if (language_id < 0 || language_id > 0xFFFF) return {};
  const auto id = static_cast<uint16_t>(language_id);
  if (const Language* language = FindById(id)) return support::Utf16FromUtf8(language->name);
  return support::Utf16FromUtf8(PrimaryName(id & kPrimaryMask));
}

uint16_t LanguageFromLocale(std::string_view locale) {
  // "ll_CC.charset@modifier" -> "ll_CC" and "@modifier".
  const size_t at = locale.find('@');
  std::string_view modifier = at == std::string_view::npos ? "" : locale.substr(at);
  std::string_view name = locale.substr(0, std::min(locale.find('.'), at));
  if (name.empty() || name == "C" || name == "POSIX") return kEnglishUnitedStates;

  const std::string with_modifier = std::string(name) + std::string(modifier);
  for (const Language& language : kLanguages) {
    if (with_modifier == language.locale) return language.id;
  }
  for (const Language& language : kLanguages) {
    if (name == language.locale) return language.id;
  }
  // A known language in another country: its main country ("de" -> de_DE), else the first
  // country listed for it.
  const std::string_view wanted = LanguagePart(name);
  std::string main_country(wanted);
  main_country += '_';
  for (char c : wanted)
    main_country += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const Language& language : kLanguages) {
    if (main_country == language.locale) return language.id;
  }
  for (const Language& language : kLanguages) {
    if (*language.locale != '\0' && LanguagePart(language.locale) == wanted) return language.id;
  }
  return kEnglishUnitedStates;
}

uint16_t UserDefaultLanguage() { return LanguageFromLocale(platform::UserLocaleName()); }

uint16_t SystemDefaultLanguage() {
  static const uint16_t language = LanguageFromLocale(platform::SystemLocaleName());
  return language;
}

int32_t CodePageFromCharset(std::string_view charset) {
  std::string key;
  for (char c : charset) {
    if (c != '-' && c != '_') key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  struct Known {
    const char* charset;  // upper case, without '-' and '_'
    int32_t code_page;
  };
  static constexpr Known kCodePages[] = {
      {"UTF8", 65001},      {"ANSIX3.41968", 65001}, {"ASCII", 65001},    {"", 65001},
      {"CP1250", 1250},     {"CP1251", 1251},        {"CP1252", 1252},    {"CP1253", 1253},
      {"CP1254", 1254},     {"CP1255", 1255},        {"CP1256", 1256},    {"CP1257", 1257},
      {"CP1258", 1258},     {"CP874", 874},          {"CP866", 866},      {"CP437", 437},
      {"CP850", 850},       {"KOI8R", 20866},        {"KOI8U", 21866},    {"ISO88591", 28591},
      {"ISO88592", 28592},  {"ISO88593", 28593},     {"ISO88594", 28594}, {"ISO88595", 28595},
      {"ISO88596", 28596},  {"ISO88597", 28597},     {"ISO88598", 28598}, {"ISO88599", 28599},
      {"ISO885913", 28603}, {"ISO885915", 28605},    {"EUCJP", 20932},    {"SHIFTJIS", 932},
      {"SJIS", 932},        {"GB2312", 936},         {"GBK", 936},        {"GB18030", 54936},
      {"BIG5", 950},        {"BIG5HKSCS", 950},      {"EUCKR", 949},      {"TIS620", 874},
      {"EUCTW", 51950},     {"TCVN57121", 1258},
  };
  for (const Known& known : kCodePages) {
    if (key == known.charset) return known.code_page;
  }
  return -1;
}

int32_t SystemAnsiCodePage() { return CodePageFromCharset(platform::LocaleCharsetName()); }

}  // namespace quern
