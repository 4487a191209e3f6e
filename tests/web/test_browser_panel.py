#!/usr/bin/python3
"""The panel in a real browser: headless Chromium driven by Selenium against
the running panel (offscreen, its window driven through VANTREL_TEST_DRIVER)
and a loopback switcher that records every command.

usage: test_browser_panel.py VANTREL VANTRELCTL
With VANTREL_SCREENSHOTS=DIR the page is saved there at phone and tablet
widths. Prints the time from a take in the window to the lamp changing on the
page, and the page's transfer size. Exits 77 (skipped) without chromium,
chromedriver or python3-selenium (tools/install-deps.sh installs them).
"""
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request


def skip(why):
    print('SKIP:', why)
    sys.exit(77)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    skip('python3-selenium is not installed')
for tool in ('/usr/bin/chromium', '/usr/bin/chromedriver'):
    if not os.access(tool, os.X_OK):
        skip(tool + ' is not installed')

PANEL, CTL = sys.argv[1:3]
OUTPUTS = [('Studio A', ['Cam 1', 'Cam 2', 'Player']), ('Studio B', ['Cam 3', 'Graphics']),
           ('Wall', ['Prog A', 'Prog B'])]
PRESET = [(1, 0), (2, 1)]  # rows and list positions of the preset "Show"


def crlf(lines):
    return ''.join(line + '\r\n' for line in lines)


def configuration(port):
    lines = ['[vantrel]', 'type=network', 'commport=1', 'baudrate=9600', 'databits=8', 'parity=N',
             'stopbits=1', 'protocol=tcp', 'ipaddress=127.0.0.1', f'port={port}']
    for o, (name, inputs) in enumerate(OUTPUTS, 1):
        lines += ['', '[output]', f'name={name}', 'selected=0']
        for i, text in enumerate(inputs, 1):
            lines += ['', '[input]', f'name={text}', f'command=R{o} I{i}\\r\\n']
    presets = ['[preset]', 'name=Show']
    for row, pos in PRESET:
        name, inputs = OUTPUTS[row - 1]
        presets += ['', '[row]', f'output={row}', f'outputname={name}', f'selected={pos}',
                    f'inputname={inputs[pos]}']
    return crlf(lines), crlf(presets)


class Switcher:
    """Takes one connection per command, as the panel makes them."""

    def __init__(self):
        self.server = socket.create_server(('127.0.0.1', 0))
        self.port = self.server.getsockname()[1]
        self.got = []
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            with conn:
                data = b''
                while chunk := conn.recv(4096):
                    data += chunk
                self.got.append(data.decode())


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Panel:
    def __init__(self, folder):
        env = dict(os.environ, QT_QPA_PLATFORM='offscreen', VANTREL_TEST_DRIVER='1')
        self.process = subprocess.Popen([PANEL], cwd=folder, env=env, text=True, bufsize=1,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        check(self.process.stdout.readline().strip() == 'ready', 'the panel did not start')

    def do(self, line):
        self.process.stdin.write(line + '\n')
        answer = self.process.stdout.readline().strip()
        check(answer == 'ok', f'{line}: the panel answered {answer!r}')


failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAIL:', what)
    return ok


def wait(driver, what, condition, seconds=5):
    try:
        return WebDriverWait(driver, seconds, 0.02).until(lambda d: condition())
    except Exception:
        return check(False, what)


def main():
    folder = tempfile.mkdtemp(prefix='vantrel-web-')
    # The panel's control socket, where vantrelctl finds it, in a folder of this run.
    os.environ['XDG_RUNTIME_DIR'] = folder
    switcher = Switcher()
    ini, presets = configuration(switcher.port)
    for name, text in (('vantrel.ini', ini), ('vantrel-presets.ini', presets)):
        with open(os.path.join(folder, name), 'w', newline='') as f:
            f.write(text)
    ctl = lambda *args: subprocess.run([CTL, *args], cwd=folder, capture_output=True, text=True, timeout=20)
    enabled = ctl('remote', 'enable', '--listen', f'127.0.0.1:{free_port()}')
    if enabled.returncode != 0:
        shutil.rmtree(folder)
        skip('vantrelctl remote enable: ' + enabled.stderr.strip())
    login = re.search(r'(http://[^\s/]+)(/login\?token=\S+)', ctl('remote', 'show').stdout)
    if not check(login, 'vantrelctl remote show printed no login address'):
        return 1
    base = login.group(1)
    panel = Panel(folder)
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for flag in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'):
        options.add_argument(flag)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    try:
        run(driver, panel, switcher, ctl, base, login.group(0))
    finally:
        driver.quit()
        panel.process.stdin.close()
        panel.process.terminate()
        panel.process.wait(10)
        shutil.rmtree(folder, ignore_errors=True)
    print('FAILED' if failures else 'PASSED', f'({len(failures)} failures)')
    return 1 if failures else 0


def run(driver, panel, switcher, ctl, base, login):
    js = driver.execute_script
    shown = lambda id: js(f'const e = document.getElementById("{id}"); return !!e && e.getClientRects().length > 0')
    lamp = lambda row, kind: js(f'return document.querySelector("#rows > :nth-child({row}) .{kind}").dataset.lamp')
    size = lambda w, h: driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {
        'width': w, 'height': h, 'deviceScaleFactor': 1, 'mobile': w < 600})

    # Every file of the page, with its type and the headers that keep it to itself.
    for path, kind in (('/', 'text/html'), ('/panel.css', 'text/css'), ('/panel.js', 'text/javascript'),
                       ('/lamp-red.png', 'image/png')):
        with urllib.request.urlopen(base + path, timeout=5) as answer:
            h = answer.headers
            check(h['Content-Type'].startswith(kind) and h['X-Content-Type-Options'] == 'nosniff'
                  and "script-src 'self'" in (h['Content-Security-Policy'] or '')
                  and "default-src 'none'" in h['Content-Security-Policy'] and h['Cache-Control'],
                  f'{path}: headers {dict(h)}')

    # The page's files are open to a GET for this machine only; the rest needs the secret.
    for method, path, host, status in (('GET', '/', 'rebind.example', 421), ('POST', '/', None, 401),
                                       ('GET', '/api/v1/rows', None, 401)):
        request = urllib.request.Request(base + path, method=method, headers={'Host': host} if host else {})
        try:
            code = urllib.request.urlopen(request, timeout=5).status
        except urllib.error.HTTPError as error:
            code = error.code
        check(code == status, f'{method} {path} (Host {host}) answered {code}, not {status}')

    # No session, or a wrong token: the page says how to get access and offers no control.
    for url in (base + '/', base + '/login?token=' + '0' * 32):
        driver.get(url)
        wait(driver, f'{url}: no access shown', lambda: shown('access'))
        check(not shown('panel') and not shown('take1'), f'{url}: controls offered')
        status = driver.execute_async_script(
            'fetch("/api/v1/take", {method: "POST", headers: {"Content-Type": "application/json"},'
            ' body: \'{"row":1,"input":2}\'}).then(r => arguments[0](r.status))')
        check(status == 401, f'{url}: a take without the token answered {status}')
    time.sleep(0.3)
    check(switcher.got == [], f'sent without the token: {switcher.got}')

    driver.get(login)
    wait(driver, 'no rows after signing in', lambda: shown('take1') and driver.find_element('id', 'take1').is_enabled())
    check(js('return document.querySelectorAll("#rows > .row").length') == 16, 'not 16 rows')
    check(all(not driver.find_element('id', f'take{r}').is_enabled() for r in range(4, 17)),
          'rows without outputs are not disabled')
    js('''window.lamps = []; new MutationObserver(changes => changes.forEach(c => lamps.push(
            [Date.now(), [...c.target.parentNode.parentNode.children].indexOf(c.target.parentNode) + 1,
             c.target.classList[1], c.target.dataset.lamp]))).observe(document.getElementById("rows"),
            {subtree: true, attributeFilter: ["data-lamp"]})''')
    seen = lambda row, kind, colour, since=0: [t for t, r, k, c in js('return lamps')
                                                if (r, k, c) == (row, kind, colour) and t >= since]

    # Pick and take on the page: the command goes out, the lamps follow.
    Select(driver.find_element('id', 'input1')).select_by_index(2)
    check(lamp(1, 'pend') == 'red', 'a pick did not light the pending lamp')
    driver.find_element('id', 'take1').click()
    wait(driver, 'the page take did not arrive', lambda: 'R1 I3\r\n' in switcher.got)
    wait(driver, 'the page take did not light the sent lamp', lambda: seen(1, 'sent', 'green'))
    wait(driver, 'the pending lamp stayed red', lambda: lamp(1, 'pend') == 'off')

    # Takes in the window appear on the page, timed from the press to the
    # pending lamp going out (the sent lamp may still be lit from before).
    delays = []
    for k in range(6):
        panel.do(f'set cboItem1 {1 - k % 2}')
        wait(driver, 'a pick in the window not on the page', lambda: lamp(2, 'pend') == 'red')
        start = time.time() * 1000
        panel.do('click btnItem1')
        if wait(driver, f'window take {k} not on the page', lambda: seen(2, 'pend', 'off', start)):
            delays.append(seen(2, 'pend', 'off', start)[0] - start)
    took = ctl('take', 'Wall', 'Prog B')
    check(took.returncode == 0, f'vantrelctl take: {took.stderr}')
    wait(driver, 'vantrelctl take not on the page', lambda: switcher.got[-1] == 'R3 I2\r\n' and seen(3, 'sent', 'green')
         and Select(driver.find_element('id', 'input3')).first_selected_option.text == 'Prog B')

    # A preset recalled from the page lights the pending lamps; Take All sends them in order.
    Select(driver.find_element('id', 'presets')).select_by_visible_text('Show')
    driver.find_element('id', 'recall').click()
    wait(driver, 'the recall lit no pending lamps', lambda: lamp(1, 'pend') == lamp(2, 'pend') == 'red')
    before = len(switcher.got)
    driver.find_element('id', 'takeAll').click()
    wait(driver, 'Take All did not send', lambda: switcher.got[before:] == ['R1 I1\r\n', 'R2 I2\r\n'])
    wait(driver, 'Take All left pending lamps', lambda: lamp(1, 'pend') == lamp(2, 'pend') == 'off')

    # Phone and desktop: no sideways scrolling, every control on screen and
    # reached by Tab; big enough for a finger on the phone; one screen on the desktop.
    Select(driver.find_element('id', 'input1')).select_by_index(1)
    shots = os.environ.get('VANTREL_SCREENSHOTS')
    for w, h, name in ((360, 740, 'phone'), (1024, 768, 'tablet'), (1280, 800, None)):
        size(w, h)
        js('document.activeElement.blur(); window.scrollTo(0, 0)')
        time.sleep(0.2)
        if shots and name:
            driver.save_screenshot(os.path.join(shots, f'browser-panel-{name}.png'))
        page = js('const e = document.documentElement; return [e.scrollWidth, e.clientWidth, e.scrollHeight]')
        check(page[0] <= page[1], f'{w} px: scrolls sideways {page}')
        check(w < 1024 or page[2] <= h, f'{w} px: the rows do not fit {page}')
        controls = js('return [...document.querySelectorAll("#panel button:enabled, #panel select:enabled,'
                      ' #panel input:enabled")].map(e => [e.id, JSON.parse(JSON.stringify(e.getBoundingClientRect()))])')
        for id, box in controls:
            check(0 <= box['left'] and box['right'] <= w, f'{w} px: {id} off screen {box}')
            check(id == 'recallTake' or box['height'] >= 44, f'{w} px: {id} smaller than a finger {box}')
        reached = set()
        for _ in range(len(controls) + 3):
            ActionChains(driver).send_keys(Keys.TAB).perform()
            reached.add(js('return document.activeElement.id'))
        check({id for id, _ in controls} <= reached, f'{w} px: Tab missed {[c for c, _ in controls if c not in reached]}')

    # The page's own files, as the browser fetched them.
    files = js('return [performance.getEntriesByType("navigation")[0], ...performance.getEntriesByType("resource")]'
               '.filter(e => !e.name.includes("/api/")).map(e => [e.transferSize, e.encodedBodySize])')
    print(f'page transfer size: {sum(t for t, _ in files)} bytes in {len(files)} files '
          f'({sum(b for _, b in files)} bytes of content)')
    if delays:
        print(f'window take to page lamp: median {statistics.median(delays):.0f} ms '
              f'(min {min(delays):.0f}, max {max(delays):.0f}, {len(delays)} takes)')

    blocked = [line['message'] for line in driver.get_log('browser') if 'Content Security Policy' in line['message']]
    check(not blocked, f'the page broke its own policy: {blocked}')

    # A lost link is shown plainly, and the page comes back by itself.
    offline = lambda on: driver.execute_cdp_cmd('Network.emulateNetworkConditions', {
        'offline': on, 'latency': 0, 'downloadThroughput': -1, 'uploadThroughput': -1})
    offline(True)
    wait(driver, 'a lost link not shown', lambda: js('return document.getElementById("link").dataset.state') == 'lost'
         and not driver.find_element('id', 'take1').is_enabled())
    offline(False)
    wait(driver, 'the page did not reconnect', lambda: js('return document.getElementById("link").dataset.state') == 'live'
         and driver.find_element('id', 'take1').is_enabled(), 15)

    # A failed send shows its text on the page that pressed, and the page goes on.
    switcher.server.shutdown(socket.SHUT_RDWR)
    switcher.server.close()
    Select(driver.find_element('id', 'input2')).select_by_index(0)
    driver.find_element('id', 'take2').click()
    wait(driver, 'no failure text on the page', lambda: shown('failure2') and shown('notice'), 10)
    check(driver.find_element('id', 'take1').is_enabled(), 'the page stopped after a failure')


if __name__ == '__main__':
    sys.exit(main())
