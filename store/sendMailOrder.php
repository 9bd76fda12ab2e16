<?php
// Places an order: appends it to the private order list (store/orders.php) and e-mails the owner
// a copy.
//
// The list is UTF-8 text after its guard line (KIOSK_PRIVATE_HEAD); lists from older pages may
// still hold Windows-1252 records before the newer ones, and the program reads each record as
// it finds it. One record per order:
//   "::" date "¬" name "¬" address "¬" item "¬" ... "Total: " amount "¬" "::-" CR LF
// The date reads day/month/year hours:minutes in the server's time zone ("06/12/2026 14:03").
// The address keeps its line breaks as CR LF and ends with a "Contact: " line. Each item reads
//   quantity " x " title " (" department ") at " price [" " unit] " = " line total
// and the last item line is the order's total. Nothing a customer types and no product title
// can hold "¬", "::" or a control character, so no record can be forged or broken. Records are
// appended under an exclusive lock, so orders placed at the same moment never interleave; the
// numbers come from a small counter file, so placing an order never reads the list.
//
// The e-mail goes out after the customer's browser has its answer and only when the host can
// send mail at all; a slow or failing mail never loses or holds up an order.

declare(strict_types=1);

define('KIOSK_SHOP', true);
ini_set('zlib.output_compression', '0');
require __DIR__ . '/variables.php';
require __DIR__ . '/storebanner.php';
require __DIR__ . '/displayStore.php';

const KIOSK_MAX_ITEM_LINE = 300;

if (!basketOn()) {
    errorPage(404, 'No online orders', 'This shop does not take orders online. Please contact us to order.');
}
if (($_SERVER['REQUEST_METHOD'] ?? 'GET') !== 'POST') {
    redirectTo('confirmOrder.php');
}
requirePostWithToken();
header('Cache-Control: no-store');

$lastOrder = $_SESSION['lastOrder'] ?? null;
$nonce = postedText('order');
if (is_array($lastOrder) && $nonce !== '' && hash_equals((string) $lastOrder['nonce'], $nonce)) {
    // Pressed twice, or sent again from the browser's history: it is already placed.
    redirectTo('confirmOrder.php?step=done');
}
if (!isset($_SESSION['orderNonce']) || $nonce === '' || !hash_equals((string) $_SESSION['orderNonce'], $nonce)) {
    errorPage(409, 'Please check your order again', 'This order form is out of date. Please go back to your basket.');
}
$customer = $_SESSION['customer'] ?? null;
$lines = basketLines($notices);
if (!is_array($customer) || !$lines) {
    redirectTo('confirmOrder.php');
}
if ($notices || !hash_equals(basketFingerprint($lines), postedText('check'))) {
    foreach ($notices as $notice) {
        flash('error', $notice);
    }
    flash('error', 'Something in your basket has changed. Please check your order again.');
    redirectTo('confirmOrder.php?step=review');
}

// Everything that goes into the record is cleaned again here, whatever the session holds.
$name = orderText((string) ($customer['name'] ?? ''), KIOSK_MAX_NAME);
$address = orderAddress((string) ($customer['address'] ?? ''));
$contact = orderText((string) ($customer['contact'] ?? ''), KIOSK_MAX_CONTACT);
if ($name === '' || $address === '' || $contact === '') {
    redirectTo('confirmOrder.php');
}
$recordAddress = $address . "\r\nContact: " . $contact;

$date = date('d/m/Y H:i');
$items = [];
$snapshot = [];
foreach ($lines as $line) {
    $product = $line['product'];
    $price = displayPrice($product['price']);
    $unit = $product['unit'] !== '' ? ' ' . $product['unit'] : '';
    $items[] = orderText($line['qty'] . ' x ' . $product['title'] . ' (' . departmentLabel($line['dept']) . ') at '
        . $price . $unit . ' = ' . lineMoney($line), KIOSK_MAX_ITEM_LINE);
    $snapshot[] = ['title' => $product['title'], 'dept' => departmentLabel($line['dept']), 'price' => $price . $unit,
        'qty' => $line['qty'], 'total' => lineMoney($line)];
}
$total = totalMoney($lines);
$items[] = orderText('Total: ' . $total, KIOSK_MAX_ITEM_LINE);

$record = '::' . $date . '¬' . $name . '¬' . $recordAddress . '¬';
foreach ($items as $item) {
    $record .= $item . '¬';
}
$record .= '::-' . "\r\n";

$number = appendOrder($record, (string) ($_SERVER['REMOTE_ADDR'] ?? ''));
if ($number === 0) {
    http_response_code(429);
    header('Content-Type: text/plain; charset=UTF-8');
    header('Retry-After: 60');
    echo "Too many orders have been placed from your address in the last minute.\n"
        . "Nothing has been ordered and your basket is kept. Please wait a minute and try again.\n";
    exit;
}
if ($number === null) {
    errorPage(503, 'We could not take your order just now',
        'Nothing has been ordered and your basket is kept. Please try again in a few minutes, or contact us.');
}

$orderNumber = str_pad((string) $number, 5, '0', STR_PAD_LEFT);
$_SESSION['lastOrder'] = ['nonce' => $nonce, 'number' => $orderNumber, 'date' => $date, 'name' => $name,
    'address' => $address, 'contact' => $contact, 'lines' => $snapshot, 'total' => $total];
$_SESSION['basket'] = [];
unset($_SESSION['orderNonce'], $_SESSION['customer']);

answerAndCarryOn('confirmOrder.php?step=done');

mailOwner($orderNumber, $date, $name, $recordAddress, $items);

/**
 * Appends one record under an exclusive lock on the list. Returns the order's number (its
 * position in the list as the owner sees it), 0 when this address has placed too many orders in
 * the last minute, or null when the record could not be written whole.
 */
function appendOrder(string $record, string $remoteAddress): ?int
{
    // The key is the last store file a refresh sends, after the orders it keeps from the old
    // shop: without it the shop is still being published, and a list started now would be
    // overwritten by the kept one.
    if (!is_file(KIOSK_ORDER_KEY_FILE)) {
        error_log('kioskSmith: the shop is being published (no ' . KIOSK_ORDER_KEY_FILE . '); no order is added');
        return null;
    }
    $file = @fopen(KIOSK_ORDERS_FILE, 'c+b');
    if ($file === false) {
        error_log('kioskSmith: cannot open ' . KIOSK_ORDERS_FILE . ' for an order');
        return null;
    }
    if (!flock($file, LOCK_EX)) {
        error_log('kioskSmith: cannot lock ' . KIOSK_ORDERS_FILE);
        fclose($file);
        return null;
    }
    try {
        $size = (int) fstat($file)['size'];
        if ($size === 0) {
            if (fwrite($file, KIOSK_PRIVATE_HEAD) !== strlen(KIOSK_PRIVATE_HEAD) || !fflush($file)) {
                ftruncate($file, 0);
                error_log('kioskSmith: could not start ' . KIOSK_ORDERS_FILE);
                return null;
            }
            $size = strlen(KIOSK_PRIVATE_HEAD);
        } elseif (stream_get_contents($file, strlen(KIOSK_PRIVATE_HEAD), 0) !== KIOSK_PRIVATE_HEAD) {
            // Never add to a file that could be served as text.
            error_log('kioskSmith: ' . KIOSK_ORDERS_FILE . ' lacks its guard line; no order is added');
            return null;
        }

        $now = time();
        $who = substr(hash('sha256', $remoteAddress), 0, 16);
        $recent = [];
        foreach (explode("\n", privateData(KIOSK_ORDER_RATE_FILE) ?? '') as $line) {
            $parts = explode(' ', $line);
            if (count($parts) === 2 && (int) $parts[0] > $now - 60 && (int) $parts[0] <= $now) {
                $recent[] = $line;
            }
        }
        $mine = count(array_filter($recent, static fn (string $line): bool => str_ends_with($line, ' ' . $who)));
        if ($mine >= KIOSK_MAX_ORDERS_PER_MINUTE) {
            return 0;
        }

        $counted = privateData(KIOSK_ORDER_COUNT_FILE);
        $count = $counted !== null && preg_match('/^\d+$/', $counted) === 1 ? (int) $counted : countRecords($file);
        if (fseek($file, 0, SEEK_END) !== 0) {
            return null;
        }
        $written = fwrite($file, $record);
        if ($written !== strlen($record) || !fflush($file)) {
            // Never leave half a record behind for the next order to run into.
            ftruncate($file, $size);
            error_log('kioskSmith: could not write an order to ' . KIOSK_ORDERS_FILE);
            return null;
        }
        $number = $count + 1;
        if (!writePrivate(KIOSK_ORDER_COUNT_FILE, (string) $number)) {
            // The next order counts the list instead: slower, but never a number given twice.
            @unlink(KIOSK_ORDER_COUNT_FILE);
        }
        $recent[] = $now . ' ' . $who;
        writePrivate(KIOSK_ORDER_RATE_FILE, implode("\n", $recent));
        return $number;
    } finally {
        flock($file, LOCK_UN);
        fclose($file);
    }
}

/** What a private file holds after its guard line, or null when it is missing or not ours. */
function privateData(string $path): ?string
{
    $bytes = @file_get_contents($path);
    if (!is_string($bytes) || !str_starts_with($bytes, KIOSK_PRIVATE_HEAD)) {
        return null;
    }
    return substr($bytes, strlen(KIOSK_PRIVATE_HEAD));
}

/** Replaces a small private file whole: a reader sees the old content or the new, never half. */
function writePrivate(string $path, string $data): bool
{
    $temporary = $path . '.new.php';
    $bytes = KIOSK_PRIVATE_HEAD . $data;
    if (@file_put_contents($temporary, $bytes) !== strlen($bytes) || !@rename($temporary, $path)) {
        @unlink($temporary);
        error_log('kioskSmith: could not write ' . $path);
        return false;
    }
    return true;
}

/** The records in the list, counted once when there is no counter yet (a list kept from an older shop). */
function countRecords($file): int
{
    $count = 0;
    $carry = '';
    fseek($file, strlen(KIOSK_PRIVATE_HEAD));
    while (!feof($file)) {
        $chunk = fread($file, 1 << 20);
        if ($chunk === false || $chunk === '') {
            break;
        }
        $text = $carry . $chunk;
        $count += substr_count($text, "::-\r\n");
        $carry = substr($text, -4);
        // A mark split across two chunks is counted once: the carry never holds a whole one.
    }
    return $count;
}

/** Sends the browser on to $location and closes the answer, so that nothing after this keeps it waiting. */
function answerAndCarryOn(string $location): void
{
    ignore_user_abort(true);
    session_write_close();
    $body = '<!DOCTYPE html><html lang="en"><title>Order placed</title><p><a href="' . h($location)
        . '">Your order has been placed. Continue.</a></p></html>';
    http_response_code(303);
    header('Location: ' . $location);
    header('Content-Length: ' . strlen($body));
    header('Connection: close');
    echo $body;
    if (function_exists('fastcgi_finish_request')) {
        fastcgi_finish_request();
        return;
    }
    if (function_exists('litespeed_finish_request')) {
        litespeed_finish_request();
        return;
    }
    while (ob_get_level() > 0) {
        ob_end_flush();
    }
    flush();
}

/** Whether PHP on this host has a way to send mail at all. */
function hostCanMail(): bool
{
    if (!function_exists('mail')) {
        return false;
    }
    if (PHP_OS_FAMILY === 'Windows') {
        return (string) ini_get('SMTP') !== '';
    }
    $command = trim((string) ini_get('sendmail_path'));
    if ($command === '') {
        return false;
    }
    $program = strtok($command, ' ');
    return !str_starts_with($program, '/') || @is_executable($program);
}

/** A header text as RFC 2047 encoded words; it holds no line break whatever it is given. */
function mailHeaderText(string $text): string
{
    $text = cleanLine($text);
    if (preg_match('/^[\x20-\x7E]*$/', $text) === 1) {
        return $text;
    }
    $words = [];
    $chunk = '';
    foreach (preg_split('//u', $text, -1, PREG_SPLIT_NO_EMPTY) as $ch) {
        if (strlen($chunk . $ch) > 45) {
            $words[] = '=?UTF-8?B?' . base64_encode($chunk) . '?=';
            $chunk = '';
        }
        $chunk .= $ch;
    }
    if ($chunk !== '') {
        $words[] = '=?UTF-8?B?' . base64_encode($chunk) . '?=';
    }
    return implode(' ', $words);
}

function mailOwner(string $number, string $date, string $name, string $address, array $items): void
{
    $settings = storeSettings();
    $owner = $settings['email'];
    if ($owner === '' || !hostCanMail()) {
        return;
    }
    set_time_limit(60);
    $subject = mailHeaderText('New order ' . $number . ' from ' . limitText($name, 40));
    $body = 'A new order has been placed in ' . $settings['storeName'] . ".\r\n\r\n"
        . 'Order number: ' . $number . "\r\n"
        . 'Date: ' . $date . "\r\n"
        . 'Name: ' . $name . "\r\n"
        . "Address:\r\n  " . str_replace("\r\n", "\r\n  ", $address) . "\r\n\r\n"
        . "Order:\r\n  " . implode("\r\n  ", $items) . "\r\n\r\n"
        . "kioskSmith collects this order with the others.\r\n";
    $headers = [
        'From' => $owner,
        'MIME-Version' => '1.0',
        'Content-Type' => 'text/plain; charset=UTF-8',
        'Content-Transfer-Encoding' => '8bit',
        'X-Mailer' => 'kioskSmith shop',
    ];
    set_error_handler(static fn (): bool => true);
    try {
        if (!mail($owner, $subject, $body, $headers)) {
            error_log('kioskSmith: the e-mail copy of order ' . $number . ' could not be sent');
        }
    } catch (Throwable $e) {
        error_log('kioskSmith: the e-mail copy of order ' . $number . ' failed: ' . $e->getMessage());
    } finally {
        restore_error_handler();
    }
}
