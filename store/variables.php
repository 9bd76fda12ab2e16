<?php
// Shared settings and helpers of the shop's pages. Every page includes this file first.
//
// The data files come from the kioskSmith program on the owner's computer: storesettings.txt and
// every productdetails.nif are Windows-1252 text with CR LF line ends, and the product fields are
// separated by the byte 0xAC ("¬" in that code page). The pages themselves speak UTF-8.

declare(strict_types=1);

if (!defined('KIOSK_SHOP')) {
    // Only the pages include this; asked for directly it has nothing to show.
    header('Location: index.php', true, 303);
    exit;
}

const KIOSK_ROOT = __DIR__;
const KIOSK_DATA = __DIR__ . '/store';
const KIOSK_SETTINGS_FILE = KIOSK_DATA . '/storesettings.txt';
// The order list and what goes with it are private: .php files whose first line answers 404 and
// stops, and whose data after __halt_compiler() PHP never even parses, so no web server that runs
// the pages can show them as text. The program collects the list through collectOrders.php.
const KIOSK_ORDERS_FILE = KIOSK_DATA . '/orders.php';
const KIOSK_ORDER_COUNT_FILE = KIOSK_DATA . '/ordercount.php';
const KIOSK_ORDER_RATE_FILE = KIOSK_DATA . '/orderrate.php';
const KIOSK_ORDER_KEY_FILE = KIOSK_DATA . '/orderkey.php';
const KIOSK_PRIVATE_HEAD = "<?php http_response_code(404); exit; __halt_compiler();\n";
const KIOSK_MAX_ORDERS_PER_MINUTE = 20; // accepted orders from one address within any 60 seconds
const KIOSK_PRODUCT_FILE = 'productdetails.nif';
const KIOSK_SEPARATOR_BYTE = "\xAC";

const KIOSK_MAX_PRODUCTS = 100;      // slots 0..99 in a department
const KIOSK_DEFAULT_PER_PAGE = 10;
const KIOSK_MAX_QUANTITY = 999;
const KIOSK_MAX_BASKET_LINES = 100;
const KIOSK_MAX_NAME = 80;           // characters
const KIOSK_MAX_ADDRESS = 400;
const KIOSK_MAX_ADDRESS_LINES = 8;
const KIOSK_MAX_CONTACT = 80;

// Errors go to the server's log, never into a customer's page (they would show file paths).
ini_set('display_errors', '0');
ini_set('log_errors', '1');

header('Content-Type: text/html; charset=UTF-8');
header('X-Content-Type-Options: nosniff');
header('X-Frame-Options: DENY');
header('Referrer-Policy: same-origin');
header("Content-Security-Policy: default-src 'none'; img-src 'self'; style-src 'self'; form-action 'self'; "
    . "frame-ancestors 'none'; base-uri 'none'");

// ---------------------------------------------------------------------------------------------
// Text

/** Escapes text for HTML element content and attribute values. */
function h(string $text): string
{
    return htmlspecialchars($text, ENT_QUOTES | ENT_SUBSTITUTE | ENT_HTML5, 'UTF-8');
}

function utf8Char(int $code): string
{
    if ($code < 0x80) {
        return chr($code);
    }
    if ($code < 0x800) {
        return chr(0xC0 | ($code >> 6)) . chr(0x80 | ($code & 0x3F));
    }
    return chr(0xE0 | ($code >> 12)) . chr(0x80 | (($code >> 6) & 0x3F)) . chr(0x80 | ($code & 0x3F));
}

/** Byte => UTF-8 character for the upper half of Windows-1252. */
function cp1252Table(): array
{
    static $table = null;
    if ($table === null) {
        // 0x80..0x9F; the five bytes the code page leaves free map to the C1 controls, as Windows does.
        $high = [0x20AC, 0x81, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039,
            0x0152, 0x8D, 0x017D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
            0x2122, 0x0161, 0x203A, 0x0153, 0x9D, 0x017E, 0x0178];
        $table = [];
        foreach ($high as $i => $code) {
            $table[chr(0x80 + $i)] = utf8Char($code);
        }
        for ($b = 0xA0; $b <= 0xFF; ++$b) {
            $table[chr($b)] = utf8Char($b);
        }
    }
    return $table;
}

/** Windows-1252 bytes to UTF-8 text. */
function fromCp1252(string $bytes): string
{
    return strtr($bytes, cp1252Table());
}

/** UTF-8 text to Windows-1252 bytes. Letters the code page lacks lose their accent; the rest become "?". */
function toCp1252(string $text): string
{
    static $reverse = null;
    static $fallback = null;
    if ($reverse === null) {
        $reverse = array_flip(cp1252Table());
        $fallback = [];
        $pairs = ['ĀĂĄ' => 'A', 'āăą' => 'a', 'ĆĈĊČ' => 'C', 'ćĉċč' => 'c', 'ĎĐ' => 'D', 'ďđ' => 'd',
            'ĒĔĖĘĚ' => 'E', 'ēĕėęě' => 'e', 'ĜĞĠĢ' => 'G', 'ĝğġģ' => 'g', 'ĤĦ' => 'H', 'ĥħ' => 'h',
            'ĨĪĬĮİ' => 'I', 'ĩīĭįı' => 'i', 'Ĵ' => 'J', 'ĵ' => 'j', 'Ķ' => 'K', 'ķ' => 'k', 'ĹĻĽĿŁ' => 'L',
            'ĺļľŀł' => 'l', 'ŃŅŇ' => 'N', 'ńņň' => 'n', 'ŌŎŐ' => 'O', 'ōŏő' => 'o', 'ŔŖŘ' => 'R', 'ŕŗř' => 'r',
            'ŚŜŞȘ' => 'S', 'śŝşș' => 's', 'ŢŤŦȚ' => 'T', 'ţťŧț' => 't', 'ŨŪŬŮŰŲ' => 'U', 'ũūŭůűų' => 'u',
            'Ŵ' => 'W', 'ŵ' => 'w', 'Ŷ' => 'Y', 'ŷ' => 'y', 'ŹŻ' => 'Z', 'źż' => 'z',
            "\u{2010}\u{2011}\u{2012}\u{2212}" => '-', "\u{2032}" => "'", "\u{2033}" => '"',
            "\u{2002}\u{2003}\u{2009}\u{202F}" => ' '];
        foreach ($pairs as $from => $to) {
            foreach (preg_split('//u', $from, -1, PREG_SPLIT_NO_EMPTY) as $ch) {
                $fallback[$ch] = $to;
            }
        }
    }
    $out = '';
    foreach (preg_split('//u', $text, -1, PREG_SPLIT_NO_EMPTY) ?: [] as $ch) {
        if (strlen($ch) === 1) {
            $out .= $ch;
        } elseif (isset($reverse[$ch])) {
            $out .= $reverse[$ch];
        } else {
            $out .= $fallback[$ch] ?? '?';
        }
    }
    return $out;
}

function isUtf8(string $text): bool
{
    return preg_match('//u', $text) === 1;
}

/** Text from a browser or a folder name as UTF-8; bytes that are not UTF-8 are read as Windows-1252. */
function asUtf8(string $text): string
{
    return isUtf8($text) ? $text : fromCp1252($text);
}

/** Removes control characters, the separator, and bidirectional overrides; line breaks become blanks. */
function cleanLine(string $text): string
{
    $text = asUtf8($text);
    $text = preg_replace('/[\r\n\t]+/u', ' ', $text);
    $text = preg_replace('/[\x{0}-\x{1F}\x{7F}-\x{9F}\x{AC}\x{2028}\x{2029}\x{202A}-\x{202E}\x{2066}-\x{2069}\x{FEFF}]/u', '', $text);
    return trim(preg_replace('/ {2,}/', ' ', $text));
}

/** Cuts text to at most $max characters. */
function limitText(string $text, int $max): string
{
    if (preg_match('/^.{0,' . $max . '}/su', $text, $m) === 1) {
        return rtrim($m[0]);
    }
    return '';
}

/** Text that goes into an order record: no separator, no record marks ("::"), no control characters. */
function orderText(string $text, int $max): string
{
    $text = cleanLine($text);
    while (str_contains($text, '::')) {
        $text = str_replace('::', ':', $text);
    }
    return limitText($text, $max);
}

/** A customer's address: the line breaks stay (as CR LF), everything else as for orderText. */
function orderAddress(string $text): string
{
    $lines = preg_split('/\r\n|\r|\n/', asUtf8($text));
    $kept = [];
    foreach ($lines as $line) {
        $line = orderText($line, KIOSK_MAX_ADDRESS);
        if ($line !== '') {
            $kept[] = $line;
        }
    }
    $kept = array_slice($kept, 0, KIOSK_MAX_ADDRESS_LINES);
    $address = implode("\r\n", $kept);
    // Never end on a lone colon that a following "::" could join; orderText already keeps ":" single.
    return limitText($address, KIOSK_MAX_ADDRESS);
}

/** Sort key that puts "Épicerie" beside "Eggs" rather than after "Zucchini". */
function foldForSorting(string $text): string
{
    static $map = null;
    if ($map === null) {
        $map = [];
        $pairs = ['ÀÁÂÃÄÅĀĂĄ' => 'a', 'àáâãäåāăą' => 'a', 'ÆæǼǽ' => 'ae', 'ÇĆĈĊČçćĉċč' => 'c', 'ĎĐďđÐð' => 'd',
            'ÈÉÊËĒĔĖĘĚèéêëēĕėęě' => 'e', 'ĜĞĠĢĝğġģ' => 'g', 'ĤĦĥħ' => 'h', 'ÌÍÎÏĨĪĬĮİìíîïĩīĭįı' => 'i',
            'Ĵĵ' => 'j', 'Ķķ' => 'k', 'ĹĻĽĿŁĺļľŀł' => 'l', 'ÑŃŅŇñńņň' => 'n', 'ÒÓÔÕÖØŌŎŐòóôõöøōŏő' => 'o',
            'Œœ' => 'oe', 'ŔŖŘŕŗř' => 'r', 'ŚŜŞŠȘśŝşšș' => 's', 'ß' => 'ss', 'ŢŤŦȚţťŧț' => 't',
            'ÙÚÛÜŨŪŬŮŰŲùúûüũūŭůűų' => 'u', 'Ŵŵ' => 'w', 'ÝŶŸýÿŷ' => 'y', 'ŹŻŽźżž' => 'z', 'Þþ' => 'th'];
        foreach ($pairs as $from => $to) {
            foreach (preg_split('//u', $from, -1, PREG_SPLIT_NO_EMPTY) as $ch) {
                $map[$ch] = $to;
            }
        }
    }
    return strtolower(strtr($text, $map));
}

// ---------------------------------------------------------------------------------------------
// Store settings

/** The eight lines the program writes: domain, name, e-mail, telephone, currency, banner, basket, per page. */
function storeSettings(): array
{
    static $settings = null;
    if ($settings !== null) {
        return $settings;
    }
    $lines = [];
    $bytes = @file_get_contents(KIOSK_SETTINGS_FILE);
    if (is_string($bytes)) {
        $lines = preg_split('/\r\n|\r|\n/', $bytes);
    }
    $line = static fn (int $i): string => cleanLine(fromCp1252($lines[$i] ?? ''));

    $perPage = trim($lines[7] ?? '');
    $perPage = preg_match('/^\d{1,3}$/', $perPage) === 1 ? (int) $perPage : 0;
    if ($perPage < 1 || $perPage > 100) {
        $perPage = KIOSK_DEFAULT_PER_PAGE;
    }
    $email = $line(2);
    $settings = [
        'domain' => $line(0),
        'storeName' => $line(1) !== '' ? $line(1) : 'Our shop',
        'email' => filter_var($email, FILTER_VALIDATE_EMAIL) !== false ? $email : '',
        'emailText' => $email,
        'telephone' => $line(3),
        'currencySymbol' => $line(4),
        'banner' => trim($lines[5] ?? '') === '1',
        'basket' => trim($lines[6] ?? '') === '1',
        'productsPerPage' => $perPage,
    ];
    return $settings;
}

function basketOn(): bool
{
    return storeSettings()['basket'];
}

// ---------------------------------------------------------------------------------------------
// Prices, as the owner typed them

/**
 * Reads a typed price: "1,234.50", "1.234,50", "1 234,50", "12.00", "12,5", "12". Gives the amount in
 * hundredths and the marks the owner uses, or null when the text is not a price.
 */
function parsePrice(string $typed): ?array
{
    $text = trim(str_replace(["\u{00A0}", "\u{202F}"], ' ', $typed));
    $symbol = storeSettings()['currencySymbol'];
    if ($symbol !== '') {
        if (str_starts_with($text, $symbol)) {
            $text = trim(substr($text, strlen($symbol)));
        } elseif (str_ends_with($text, $symbol)) {
            $text = trim(substr($text, 0, -strlen($symbol)));
        }
    }
    $group = '';
    // Blanks and apostrophes only ever group thousands.
    if (preg_match('/^\d{1,3}(?:([ \'’])\d{3})+(?:[.,]\d+)?$/u', $text, $m) === 1) {
        $group = $m[1];
        $text = str_replace($m[1], '', $text);
    }
    if (preg_match('/^\d[\d.,]*$/', $text) !== 1 || strlen($text) > 16) {
        return null;
    }
    $dots = substr_count($text, '.');
    $commas = substr_count($text, ',');
    $decimal = '';
    if ($dots > 0 && $commas > 0) {
        $decimal = strrpos($text, '.') > strrpos($text, ',') ? '.' : ',';
        if (substr_count($text, $decimal) !== 1 || $group !== '') {
            return null;
        }
        $group = $decimal === '.' ? ',' : '.';
    } elseif ($dots + $commas === 1) {
        $mark = $dots === 1 ? '.' : ',';
        [$whole, $fraction] = explode($mark, $text);
        // A single mark before exactly three digits groups thousands ("1,234"); prices carry two decimals.
        if ($group === '' && strlen($fraction) === 3 && $whole !== '0' && strlen($whole) <= 3) {
            $group = $mark;
        } else {
            $decimal = $mark;
        }
    } elseif ($dots + $commas > 1) {
        if ($group !== '') {
            return null;
        }
        $group = $dots > 0 ? '.' : ',';
    }

    [$whole, $fraction] = $decimal === '' ? [$text, ''] : explode($decimal, $text);
    if ($decimal !== '' && $fraction === '') {
        return null;
    }
    if ($group !== '' && $group !== ' ' && $group !== "'" && $group !== '’') {
        if (preg_match('/^\d{1,3}(?:' . preg_quote($group, '/') . '\d{3})*$/', $whole) !== 1) {
            return null;
        }
        $whole = str_replace($group, '', $whole);
    }
    if (preg_match('/^\d+$/', $whole) !== 1 || strlen($whole) > 9) {
        return null;
    }
    $cents = (int) $whole * 100;
    if ($fraction !== '') {
        $cents += (int) round((float) ('0.' . $fraction) * 100);
    }
    if ($decimal === '') {
        $decimal = $group === '.' ? ',' : '.';
    }
    if ($group === '') {
        $group = $decimal === '.' ? ',' : '.';
    }
    return ['cents' => $cents, 'decimal' => $decimal, 'group' => $group];
}

/** An amount in hundredths, written with the owner's marks and the shop's currency symbol. */
function formatMoney(int $cents, string $decimal = '.', string $group = ','): string
{
    $digits = (string) intdiv($cents, 100);
    $parts = [];
    while (strlen($digits) > 3) {
        array_unshift($parts, substr($digits, -3));
        $digits = substr($digits, 0, -3);
    }
    array_unshift($parts, $digits);
    $grouped = implode($group, $parts);
    return storeSettings()['currencySymbol'] . $grouped . $decimal . sprintf('%02d', $cents % 100);
}

/** A price as the owner typed it, with the currency symbol in front when it is a number. */
function displayPrice(string $typed): string
{
    $typed = trim($typed);
    $symbol = storeSettings()['currencySymbol'];
    if (parsePrice($typed) === null || $symbol === '' || str_starts_with($typed, $symbol)
        || str_ends_with($typed, $symbol)) {
        return $typed;
    }
    return $symbol . $typed;
}

// ---------------------------------------------------------------------------------------------
// Session, tokens and messages

function startSession(): void
{
    if (session_status() === PHP_SESSION_ACTIVE) {
        return;
    }
    $https = !empty($_SERVER['HTTPS']) && $_SERVER['HTTPS'] !== 'off';
    $path = rtrim(str_replace('\\', '/', dirname($_SERVER['SCRIPT_NAME'] ?? '/')), '/') . '/';
    session_name('kioskSmith');
    session_set_cookie_params(['lifetime' => 0, 'path' => $path, 'secure' => $https, 'httponly' => true,
        'samesite' => 'Lax']);
    ini_set('session.use_strict_mode', '1');
    ini_set('session.use_only_cookies', '1');
    session_start();
    if (!isset($_SESSION['token']) || !is_string($_SESSION['token'])) {
        $_SESSION['token'] = bin2hex(random_bytes(32));
    }
    if (!isset($_SESSION['basket']) || !is_array($_SESSION['basket'])) {
        $_SESSION['basket'] = [];
    }
}

function sessionToken(): string
{
    startSession();
    return $_SESSION['token'];
}

function tokenField(): string
{
    return '<input type="hidden" name="token" value="' . h(sessionToken()) . '">';
}

function postedText(string $name): string
{
    $value = $_POST[$name] ?? '';
    return is_string($value) ? $value : '';
}

/** Stops with an error page unless this is a POST that carries the session's token. */
function requirePostWithToken(): void
{
    if (($_SERVER['REQUEST_METHOD'] ?? '') !== 'POST') {
        header('Allow: POST');
        errorPage(405, 'Please use the buttons on the page', 'That address only takes the shop\'s own forms.');
    }
    startSession();
    $token = postedText('token');
    if ($token === '' || !hash_equals($_SESSION['token'], $token)) {
        errorPage(403, 'Your session has expired',
            'For your safety the form could not be accepted. Please go back to the page, reload it and try again.');
    }
}

function flash(string $kind, string $text): void
{
    startSession();
    if (!isset($_SESSION['flash']) || !is_array($_SESSION['flash'])) {
        $_SESSION['flash'] = [];
    }
    $_SESSION['flash'][] = ['kind' => $kind, 'text' => $text];
}

/** The messages left for the next page, each shown once. */
function takeFlash(): array
{
    if (session_status() !== PHP_SESSION_ACTIVE || !isset($_SESSION['flash'])) {
        return [];
    }
    $messages = is_array($_SESSION['flash']) ? $_SESSION['flash'] : [];
    unset($_SESSION['flash']);
    return array_filter($messages, 'is_array');
}

/** A message to show beside one product (the page scrolls to it), once. */
function productNote(string $key, string $kind, string $text): void
{
    startSession();
    $_SESSION['productNote'] = ['key' => $key, 'kind' => $kind, 'text' => $text];
}

function takeProductNote(string $key): ?array
{
    $note = session_status() === PHP_SESSION_ACTIVE ? ($_SESSION['productNote'] ?? null) : null;
    if (!is_array($note) || ($note['key'] ?? null) !== $key) {
        return null;
    }
    unset($_SESSION['productNote']);
    return $note;
}

/** Sends the browser on to a page of the shop (a relative address we build ourselves). */
function redirectTo(string $relative): never
{
    header('Location: ' . $relative, true, 303);
    header('Cache-Control: no-store');
    exit;
}

function pageUrl(string $page, array $query = []): string
{
    $query = array_filter($query, static fn ($v) => $v !== null && $v !== '');
    return $page . ($query ? '?' . http_build_query($query, '', '&', PHP_QUERY_RFC3986) : '');
}

/** Shows a short page for a refused or impossible request and stops. */
function errorPage(int $status, string $title, string $text): never
{
    http_response_code($status);
    header('Cache-Control: no-store');
    require_once __DIR__ . '/storebanner.php';
    pageStart($title);
    echo '<section class="notice-page">';
    echo '<img class="notice-art" src="gfx/cancel.jpg" alt="" width="160" height="160">';
    echo '<h1>' . h($title) . '</h1><p>' . h($text) . '</p>';
    echo '<p><a class="button" href="index.php">Back to the shop</a></p></section>';
    pageEnd();
    exit;
}
