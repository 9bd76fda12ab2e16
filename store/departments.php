<?php
// The departments and their products, read from the folders the program uploads below store/.
// Every folder there that holds a productdetails.nif is a department; store/departments.nif, sent
// with every upload, names them in the owner's order (shops published before it sort by name).
// Folder names arrive as UTF-8. A name given in a request is only ever used after it has been
// found among those folders, so no request can reach a file outside store/.

declare(strict_types=1);

if (!defined('KIOSK_SHOP')) {
    header('Location: index.php', true, 303);
    exit;
}

const KIOSK_DEPARTMENT_FILE = 'departments.nif'; // in store/, beside storesettings.txt

/**
 * Folder names of the departments: in the order of departments.nif, leaving out folders it does not
 * name (departments since renamed or removed); without that file, in natural order ("Shelf 9" before
 * "Shelf 10", "Épices" with the E's).
 */
function departmentNames(): array
{
    static $names = null;
    if ($names !== null) {
        return $names;
    }
    $folders = departmentFolders();
    $order = departmentOrder();
    if ($order !== null) {
        $present = array_flip($folders);
        $names = [];
        foreach ($order as $name) {
            if (isset($present[$name])) {
                $names[] = $name;
                unset($present[$name]);
            }
        }
        return $names;
    }
    $names = $folders;
    usort($names, static function (string $a, string $b): int {
        $order = strnatcmp(foldForSorting(departmentLabel($a)), foldForSorting(departmentLabel($b)));
        return $order !== 0 ? $order : strcmp($a, $b);
    });
    return $names;
}

/** The names in departments.nif (Windows-1252, one a line), or null when there is no such file. */
function departmentOrder(): ?array
{
    $file = KIOSK_DATA . '/' . KIOSK_DEPARTMENT_FILE;
    if (!is_file($file)) {
        return null;
    }
    $bytes = @file_get_contents($file, false, null, 0, 64 * 1024);
    if (!is_string($bytes)) {
        return null;
    }
    $names = [];
    foreach (preg_split('/\r\n|\r|\n/', $bytes) as $line) {
        if ($line !== '') {
            $names[] = fromCp1252($line);
        }
    }
    return $names;
}

/** Every folder below store/ that holds a productdetails.nif, as the server lists them. */
function departmentFolders(): array
{
    $names = [];
    foreach (@scandir(KIOSK_DATA) ?: [] as $name) {
        if ($name === '' || $name[0] === '.' || str_contains($name, '/') || str_contains($name, '\\')) {
            continue;
        }
        $folder = KIOSK_DATA . '/' . $name;
        if (is_dir($folder) && !is_link($folder) && is_file($folder . '/' . KIOSK_PRODUCT_FILE)) {
            $names[] = $name;
        }
    }
    return $names;
}

/** The department named in a request, exactly as its folder is named, or null. */
function findDepartment(mixed $requested): ?string
{
    if (!is_string($requested) || $requested === '') {
        return null;
    }
    foreach (departmentNames() as $name) {
        if ($name === $requested) {
            return $name;
        }
    }
    return null;
}

/** A folder name as the customer reads it. */
function departmentLabel(string $folder): string
{
    return cleanLine($folder);
}

/**
 * The products of a department, keyed by slot index in file order. Each product holds the nine
 * published fields as UTF-8 text, plus 'price' parsed where it is a number ('amount', or null).
 */
function departmentProducts(string $department): array
{
    static $cache = [];
    if (isset($cache[$department])) {
        return $cache[$department];
    }
    $products = [];
    $file = KIOSK_DATA . '/' . $department . '/' . KIOSK_PRODUCT_FILE;
    $bytes = @file_get_contents($file, false, null, 0, 4 * 1024 * 1024);
    if (is_string($bytes)) {
        foreach (preg_split('/\r\n|\r|\n/', $bytes) as $line) {
            $fields = explode(KIOSK_SEPARATOR_BYTE, $line);
            if (count($fields) < 9 || preg_match('/^\d{1,2}$/', $fields[0]) !== 1) {
                continue;
            }
            $index = (int) $fields[0];
            $title = cleanLine(fromCp1252($fields[1]));
            if ($title === '' || isset($products[$index])) {
                continue;
            }
            $text = static fn (int $i): string => cleanLine(fromCp1252($fields[$i]));
            $product = [
                'index' => $index,
                'title' => $title,
                'description1' => $text(2),
                'description2' => $text(3),
                'description3' => $text(4),
                'price' => $text(5),
                'unit' => $text(6),
                'pricingDetail1' => $text(7),
                'pricingDetail2' => $text(8),
            ];
            $product['amount'] = parsePrice($product['price']);
            $products[$index] = $product;
            if (count($products) >= KIOSK_MAX_PRODUCTS) {
                break;
            }
        }
    }
    return $cache[$department] = $products;
}

function findProduct(string $department, mixed $index): ?array
{
    if (is_int($index)) {
        $index = (string) $index;
    }
    if (!is_string($index) || preg_match('/^\d{1,2}$/', $index) !== 1) {
        return null;
    }
    return departmentProducts($department)[(int) $index] ?? null;
}

/** Address of a product's picture, or of the "no image" picture when the department has none for it. */
function pictureUrl(string $department, int $index): string
{
    $file = KIOSK_DATA . '/' . $department . '/' . $index . '.jpeg';
    if (is_file($file)) {
        // The name stays the same from upload to upload; the time tells the browser when it changed.
        return 'store/' . rawurlencode($department) . '/' . $index . '.jpeg?v=' . (int) @filemtime($file);
    }
    return noImageUrl();
}

function noImageUrl(): string
{
    return is_file(KIOSK_DATA . '/no_image_available.jpg') ? 'store/no_image_available.jpg'
        : 'gfx/no_image_available.jpg';
}

function hasPicture(string $department, int $index): bool
{
    return is_file(KIOSK_DATA . '/' . $department . '/' . $index . '.jpeg');
}

function departmentUrl(string $department, int $page = 1, ?int $anchor = null): string
{
    return pageUrl('store.php', ['dept' => $department, 'page' => $page > 1 ? $page : null])
        . ($anchor !== null ? '#product-' . $anchor : '');
}

function productUrl(string $department, int $index): string
{
    return pageUrl('getdetails.php', ['dept' => $department, 'item' => $index]);
}

/** The department list, as a navigation bar. */
function renderDepartmentNav(?string $current): void
{
    $names = departmentNames();
    if (!$names) {
        return;
    }
    echo '<nav class="department-nav" aria-label="Departments"><div class="wrap"><ul>';
    foreach ($names as $name) {
        $here = $name === $current ? ' aria-current="page"' : '';
        echo '<li><a href="' . h(departmentUrl($name)) . '"' . $here . '>' . h(departmentLabel($name)) . '</a></li>';
    }
    echo '</ul></div></nav>';
}
