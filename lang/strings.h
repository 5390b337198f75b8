// Every shown text: its string index (the key in a language file) and its built-in Polish text.
#pragma once

struct StrDef {
  unsigned id;
  const char* text;
};

// The built-in texts the dialogs' buttons share.
constexpr const char* Pobierz() { return "Pobierz"; }
constexpr const char* Zastosuj() { return "Zastosuj"; }
constexpr const char* Wyjdz() { return "Wyjdź"; }

// Index, built-in text. Language files translate by index; indices not listed are unused.
constexpr StrDef S_HELP_ERROR{2, "Wystąpił problem z otwarciem pliku pomocy."};
constexpr StrDef S_PICK_FOLDER_TITLE{3, "Wybierz folder z programem do zainstalowania."};
constexpr StrDef S_FILTER_TXT{4, "Dokument tekstowy (*.txt)"};
constexpr StrDef S_PICK_LICENCE_TITLE{5, "Wybierz plik licencji."};
constexpr StrDef S_PICK_INFO_TITLE{6, "Wybierz plik informacji końcowej."};
constexpr StrDef S_DIALOG_ERROR{7, "Nie można utworzyć okna dialogowego."};
constexpr StrDef S_PICK_SETUP_TITLE{8, "Wybierz nazwę i miejsce utworzenia pliku instalacyjnego."};
constexpr StrDef S_FILTER_EXE{9, "Plik wykonywalny (*.exe)"};
constexpr StrDef S_NAME_LABEL{10, "Nazwa programu:"};
constexpr StrDef S_FOLDER_LABEL{11, "Folder z plikami programu:"};
constexpr StrDef S_SETUP_LABEL{12, "Plik instalatora:"};
constexpr StrDef S_LICENCE_LABEL{13, "Plik licencji:"};
constexpr StrDef S_INFO_LABEL{14, "Plik informacji końcowej:"};
constexpr StrDef S_BROWSE{18, Pobierz()};
constexpr StrDef S_ADD{20, "Dodaj"};
constexpr StrDef S_REMOVE{21, "Usuń"};
constexpr StrDef S_APPLY{22, Zastosuj()};
constexpr StrDef S_HELP{23, "Pomoc"};
constexpr StrDef S_EXIT{24, "Zakończ"};
constexpr StrDef S_CLOSE{32, Wyjdz()};
constexpr StrDef S_LNK_CAPTION{33, "Dodawanie skrótu"};
constexpr StrDef S_LNK_SOURCE{34, "Plik źródłowy:"};
constexpr StrDef S_LNK_FOLDER{35, "Folder skrótu:"};
constexpr StrDef S_LNK_DESKTOP{36, "Pulpit"};
constexpr StrDef S_LNK_MENU{37, "Menu start"};
constexpr StrDef S_FILTER_ALL{38, "Wszystkie pliki (*.*)"};
constexpr StrDef S_PICK_LNK_TITLE{39, "Plik do którego skrót ma zostać utworzony:"};
constexpr StrDef S_OUTSIDE_FOLDER{40, "Wybrany plik musi znajdować się w folderze z plikami programu."};
constexpr StrDef S_LNK_NO_PLACE{41, "Zaznacz lokalizacje skrótu."};
constexpr StrDef S_RUN_CAPTION{42, "Uruchom po zainstalowaniu"};
constexpr StrDef S_RUN_LABEL{43, "Plik do uruchomienia z parametrami:"};
constexpr StrDef S_PICK_RUN_TITLE{44, "Plik który zostanie uruchomiony po zainstalowaniu:"};
constexpr StrDef S_REG_CAPTION{45, "Dodaj wpisy do rejestru"};
constexpr StrDef S_REG_KEY{46, "Klucz:"};
constexpr StrDef S_REG_NAME{47, "Nazwa:"};
constexpr StrDef S_REG_TYPE{48, "Typ:"};
constexpr StrDef S_REG_VALUE{49, "Wartość:"};
constexpr StrDef S_PACK_CAPTION{50, "Pakowanie plików"};
constexpr StrDef S_PACK_TOTAL{51, "Całkowity postęp:"};
constexpr StrDef S_PACK_CURRENT{52, "Bierzący postęp:"};
constexpr StrDef S_PACK_CANCEL{53, "Przerwij"};
constexpr StrDef S_BAD_PATH{54, "Jedno z pól zawiera niepoprawną ścieżkę."};
constexpr StrDef S_MENU_NEW{55, "&Nowy projekt"};
constexpr StrDef S_MENU_OPEN{56, "&Otwórz projekt"};
constexpr StrDef S_MENU_SAVE{57, "&Zapisz projekt"};
constexpr StrDef S_MENU_SAVEAS{58, "&Zapisz projekt jako..."};
constexpr StrDef S_MENU_EXIT{59, "&Zakończ"};
constexpr StrDef S_MENU_SETTINGS{60, "&Ustawienia"};
constexpr StrDef S_MENU_ABOUT{61, "&O programie"};
constexpr StrDef S_MENU_HELP{62, "Po&moc"};
constexpr StrDef S_MENU_PROJECT{64, "&Projekt"};
constexpr StrDef S_MENU_HELP_POPUP{65, "P&omoc"};
constexpr StrDef S_REG_BAD_KEY{66, "Wprowadzony klucz nie jest prawidłowy."};
constexpr StrDef S_ABOUT_CAPTION{67, "O programie..."};
constexpr StrDef S_SETTINGS_CAPTION{68, "Ustawienia"};
constexpr StrDef S_SETTINGS_LEVEL{69, "Poziom kompresji:"};
constexpr StrDef S_SETTINGS_LANG{70, "Język:"};
constexpr StrDef S_FILTER_HTML{71, "Dokument HTML (*.html)"};
constexpr StrDef S_FILTER_KPJ{72, "Projekt (*.kpj)"};
constexpr StrDef S_PICK_SAVE_PRJ_TITLE{73, "Zapisz plik projektu."};
constexpr StrDef S_UNPACK_ERROR{74, "Wystąpił błąd podczas próby rozpakowania pliku."};
constexpr StrDef S_PICK_OPEN_PRJ_TITLE{75, "Wybierz plik projektu."};
constexpr StrDef S_RUN_INSTALL{79, "Uruchom podczas instalacji."};
constexpr StrDef S_RUN_UNINSTALL{80, "Uruchom podczas odinstalowania."};
constexpr StrDef S_RUN_SILENT{81, "Uruchom bez pytania."};
constexpr StrDef S_REG_NO_NAME{82, "<Brak nazwy>"};
constexpr StrDef S_REG_DYNAMIC{83, "Dynamiczna kontrola ścieżki."};
constexpr StrDef S_ASK_SAVE{84, "Zpisać projekt?"};
constexpr StrDef S_TOOL_FILES_MISSING{85, "Brak plików instalatora w folderze bin programu Packrift."};
constexpr StrDef S_OUTPUT_FAILED{86, "Nie można zapisać pliku instalatora."};
constexpr StrDef S_REG_NOT_DWORD{87, "Wartość nie jest liczbą od 0 do 4294967295."};
constexpr StrDef S_REG_NOT_BINARY{88, "Wartość nie jest ciągiem par cyfr szesnastkowych."};
constexpr StrDef S_REG_NOT_RELATIVE{89, "Wartość nie jest ścieżką w folderze instalacji."};
// The closing-information check and the unattended build's refusals.
constexpr StrDef S_INFO_OUTSIDE{93, "Plik informacji końcowej musi leżeć w folderze programu."};
constexpr StrDef S_BUILD_USAGE{94, "Podaj pełną ścieżkę projektu: /build \"X:\\folder\\projekt.kpj\""};
constexpr StrDef S_ALREADY_RUNNING{95, "Packrift już działa: zamknij go przed budowaniem."};
constexpr StrDef S_SIGN_FAILED{99, "Polecenie podpisywania zakończyło się błędem."};
// The licence's copy in the configuration, and an installer built into its own program folder.
constexpr StrDef S_LICENCE_NAME{110, "Nazwa pliku licencji nie jest zwykłą nazwą pliku."};
constexpr StrDef S_OUTPUT_LEFT_OUT{111, "Pominięto instalator leżący w folderze programu."};
// A file to pack that cannot be read (its name follows the text), and a save that failed.
constexpr StrDef S_READ_FAILED{112, "Nie można odczytać pliku:"};
constexpr StrDef S_SAVE_FAILED{113, "Nie można zapisać projektu."};
// Files of the program folder that no installer can carry: the build names the file after the text.
constexpr StrDef S_NAME_TOO_LONG{150, "Ścieżka pliku jest za długa dla Windows:"};
constexpr StrDef S_NAME_FORBIDDEN{151, "Windows nie dopuszcza nazwy pliku:"};
constexpr StrDef S_NAME_NOT_UTF8{152, "Nazwa pliku nie jest zapisana w UTF-8:"};
constexpr StrDef S_NAME_CASE{153, "Nazwy różniące się tylko wielkością liter:"};
constexpr StrDef S_FILE_TOO_LARGE{154, "Plik ma 4 GiB lub więcej:"};
// The settings dialog's choice of the program archive's kind.
constexpr StrDef S_SETTINGS_LZMA{170, "Kompresja LZMA (mniejszy instalator)"};

// Every entry above, for checks over the whole table.
constexpr StrDef kAllStrings[] = {
    S_HELP_ERROR, S_PICK_FOLDER_TITLE, S_FILTER_TXT, S_PICK_LICENCE_TITLE, S_PICK_INFO_TITLE, S_DIALOG_ERROR, S_PICK_SETUP_TITLE, S_FILTER_EXE, S_NAME_LABEL, S_FOLDER_LABEL, S_SETUP_LABEL, S_LICENCE_LABEL, S_INFO_LABEL, S_BROWSE, S_ADD, S_REMOVE, S_APPLY, S_HELP, S_EXIT, S_CLOSE, S_LNK_CAPTION, S_LNK_SOURCE, S_LNK_FOLDER, S_LNK_DESKTOP, S_LNK_MENU, S_FILTER_ALL, S_PICK_LNK_TITLE, S_OUTSIDE_FOLDER, S_LNK_NO_PLACE, S_RUN_CAPTION, S_RUN_LABEL, S_PICK_RUN_TITLE, S_REG_CAPTION, S_REG_KEY, S_REG_NAME, S_REG_TYPE, S_REG_VALUE, S_PACK_CAPTION, S_PACK_TOTAL, S_PACK_CURRENT, S_PACK_CANCEL, S_BAD_PATH, S_MENU_NEW, S_MENU_OPEN, S_MENU_SAVE, S_MENU_SAVEAS, S_MENU_EXIT, S_MENU_SETTINGS, S_MENU_ABOUT, S_MENU_HELP, S_MENU_PROJECT, S_MENU_HELP_POPUP, S_REG_BAD_KEY, S_ABOUT_CAPTION, S_SETTINGS_CAPTION, S_SETTINGS_LEVEL, S_SETTINGS_LANG, S_FILTER_HTML, S_FILTER_KPJ, S_PICK_SAVE_PRJ_TITLE, S_UNPACK_ERROR, S_PICK_OPEN_PRJ_TITLE, S_RUN_INSTALL, S_RUN_UNINSTALL, S_RUN_SILENT, S_REG_NO_NAME, S_REG_DYNAMIC, S_ASK_SAVE,
    S_TOOL_FILES_MISSING, S_OUTPUT_FAILED, S_NAME_TOO_LONG, S_NAME_FORBIDDEN, S_NAME_NOT_UTF8, S_NAME_CASE,
    S_FILE_TOO_LARGE,
    S_REG_NOT_DWORD, S_REG_NOT_BINARY, S_REG_NOT_RELATIVE, S_INFO_OUTSIDE, S_BUILD_USAGE, S_ALREADY_RUNNING,
    S_SIGN_FAILED, S_LICENCE_NAME, S_OUTPUT_LEFT_OUT, S_READ_FAILED, S_SAVE_FAILED, S_SETTINGS_LZMA};
