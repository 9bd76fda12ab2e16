<?php
// Places an order: appends it to store/orders.txt and e-mails the owner a copy.
//
// store/orders.txt is Windows-1252 text, like every other data file of the shop, so the field
// separator "¬" is the single byte 0xAC. Characters the code page lacks lose their accent or
// become "?" (the owner's e-mail copy keeps them). One record per order:
//   "::" date "¬" name "¬" address "¬" item "¬" ... "Total: " amount "¬" "::-" CR LF
// The date reads day/month/year hours:minutes in the server's time zone ("06/12/2026 14:03").
// The address keeps its line breaks as CR LF. Each item reads
//   quantity " x " title " (" department ") at " price [" " unit] " = " line total
// and the last item line is the order's total. Nothing a customer types and no product title
// can hold "¬", "::" or a control character, so no record can be forged or broken. Records are
// appended under an exclusive lock, so orders placed at the same moment never interleave.
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
if ($name === '' || $address === '') {
    redirectTo('confirmOrder.php');
}
$recordAddress = $contact !== '' ? $address . "\r\nContact: " . $contact : $address;

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

$number = appendOrder(toCp1252($record));
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
 * Appends one record under an exclusive lock. Returns the order's position in the file (its
 * number as the owner sees it), or null when the record could not be written whole.
 */
function appendOrder(string $record): ?int
{
    $file = @fopen(KIOSK_ORDERS_FILE, 'c+b');
    if ($file === false) {
        error_log('kioskSmith: cannot open ' . KIOSK_ORDERS_FILE . ' for an order');
        return null;
    }
    $number = null;
    if (flock($file, LOCK_EX)) {
        $existing = stream_get_contents($file, -1, 0);
        $size = strlen((string) $existing);
        $count = substr_count((string) $existing, '::-');
        if (fseek($file, 0, SEEK_END) === 0) {
            $written = fwrite($file, $record);
            if ($written === strlen($record) && fflush($file)) {
                $number = $count + 1;
            } else {
                // Never leave half a record behind for the next order to run into.
                ftruncate($file, $size);
                error_log('kioskSmith: could not write an order to ' . KIOSK_ORDERS_FILE);
            }
        }
        flock($file, LOCK_UN);
    } else {
        error_log('kioskSmith: cannot lock ' . KIOSK_ORDERS_FILE);
    }
    fclose($file);
    return $number;
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
        . "kioskSmith collects this order with the others from store/orders.txt.\r\n";
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
