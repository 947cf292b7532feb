<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT" sourcelanguage="zh_CN">
<context>
    <name>AudioController</name>
    <message>
        <source>title</source>
        <translation>Titolo</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>MIX STREAM</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>MIX MONITOR</translation>
    </message>
</context>
<context>
    <name>AutoGainWindow</name>
    <message>
        <source>自动增益</source>
        <translation>Guadagno automatico</translation>
    </message>
    <message>
        <source>设置成功
增益为 %1</source>
        <translation>Fatto
Guadagno impostato su %1.</translation>
    </message>
    <message>
        <source>使用正常的音量讲话
倒计时 </source>
        <translation>Parla al tuo volume normale
Mancano </translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>CustomComAppBox</name>
    <message>
        <source>系统浏览器</source>
        <translation>Apri il Browser</translation>
    </message>
</context>
<context>
    <name>CustomerWindow</name>
    <message>
        <source>客服</source>
        <translation>Contatta l&apos;assistenza</translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation>Contattaci</translation>
    </message>
    <message>
        <source>周一到周日：9:00-12:00，13:00-18:00 (GMT+8)</source>
        <translation>Lun–dom: 9:00–12:00, 13:00–18:00 (GMT+8)</translation>
    </message>
    <message>
        <source>电话</source>
        <translation>Telefono</translation>
    </message>
    <message>
        <source>400-000-0000</source>
        <translation>400-000-0000</translation>
    </message>
    <message>
        <source>企业微信（请扫码添加客服）</source>
        <translation>WeChat aziendale (scansiona il codice QR per aggiungere l&apos;assistenza)</translation>
    </message>
    <message>
        <source>邮箱</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>support@example.com</source>
        <translation>support@example.com</translation>
    </message>
    <message>
        <source>Support</source>
        <translation>Assistenza</translation>
    </message>
    <message>
        <source>Mon to Sun.9:00-12:00,13:00-18:30 (GMT+8)</source>
        <translation>Lun–dom: 9:00–12:00, 13:00–18:30 (GMT+8)</translation>
    </message>
    <message>
        <source>Online Support</source>
        <translation>Assistenza online</translation>
    </message>
    <message>
        <source>WhatsApp</source>
        <translation>WhatsApp</translation>
    </message>
    <message>
        <source>+1 555 0100</source>
        <translation>+1 555 0100</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-mail</translation>
    </message>
</context>
<context>
    <name>DeviceSettings</name>
    <message>
        <source>话筒</source>
        <translation>Microfono</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Generale</translation>
    </message>
    <message>
        <source>灯光</source>
        <translation>Illuminazione</translation>
    </message>
    <message>
        <source>新版本</source>
        <translation>Nuova versione</translation>
    </message>
</context>
<context>
    <name>EqualizerWindow</name>
    <message>
        <source>均衡器</source>
        <translation>Equalizzatore</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Regola le diverse frequenze per rendere la tua voce più chiara e personale.</translation>
    </message>
</context>
<context>
    <name>GeneralTab</name>
    <message>
        <source>App</source>
        <translation>App</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>热键</source>
        <translation>Scorciatoia</translation>
    </message>
    <message>
        <source>系统截图</source>
        <translation>Screenshot</translation>
    </message>
    <message>
        <source>系统录屏</source>
        <translation>Registra schermo</translation>
    </message>
    <message>
        <source>旋钮按键</source>
        <translation>Doppio tocco sulla manopola</translation>
    </message>
    <message>
        <source>当Veloran Deck 在后台运行时，双击旋钮可执行自定义功能。</source>
        <translation>Con Veloran Deck in background, tocca due volte la manopola per eseguire una funzione personalizzata.</translation>
    </message>
    <message>
        <source>请输入URL</source>
        <translation>Inserisci l&apos;URL</translation>
    </message>
    <message>
        <source>请输入键位</source>
        <translation>Inserisci i tasti</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Generale</translation>
    </message>
    <message>
        <source>有固件可升级</source>
        <translation>Aggiornamento firmware disponibile</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>è aggiornato</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Aggiorna ora</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Verifica aggiornamenti</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Frequenza di campionamento</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Indicatore</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Ripristino di fabbrica</translation>
    </message>
</context>
<context>
    <name>LightingEffectPage</name>
    <message>
        <source>颜色</source>
        <translation>Colore</translation>
    </message>
</context>
<context>
    <name>LightingSub1</name>
    <message>
        <source>单色</source>
        <translation>Tinta unita</translation>
    </message>
    <message>
        <source>幻彩</source>
        <translation>Sfumato</translation>
    </message>
</context>
<context>
    <name>LightingSub2</name>
    <message>
        <source>单色</source>
        <translation>Tinta unita</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Ciclo</translation>
    </message>
    <message>
        <source>循环顺序</source>
        <translation>Ordine del ciclo</translation>
    </message>
</context>
<context>
    <name>LightingSub3</name>
    <message>
        <source>方向</source>
        <translation>Direzione</translation>
    </message>
</context>
<context>
    <name>LightingTab</name>
    <message>
        <source>背景</source>
        <translation>Sfondo</translation>
    </message>
    <message>
        <source>声卡接电时显示背景灯光</source>
        <translation>L&apos;illuminazione di sfondo si accende quando Veloran è alimentato.</translation>
    </message>
    <message>
        <source>效果</source>
        <translation>Effetti</translation>
    </message>
    <message>
        <source>静态</source>
        <translation>Statico</translation>
    </message>
    <message>
        <source>呼吸</source>
        <translation>Respiro</translation>
    </message>
    <message>
        <source>波浪</source>
        <translation>Onda</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Spento</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>INGRESSI</translation>
    </message>
    <message>
        <source>话筒输入时，根据音量大小动态显示</source>
        <translation>L&apos;illuminazione segue il livello d&apos;ingresso del microfono.</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Colore</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Direzione</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Indicatore</translation>
    </message>
    <message>
        <source>麦克风增益</source>
        <translation>Guadagno microfono</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Volume di uscita</translation>
    </message>
    <message>
        <source>麦克风/电脑音量监听比</source>
        <translation>Mix mic/PC</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Muto</translation>
    </message>
    <message>
        <source>其他</source>
        <translation>Altro</translation>
    </message>
    <message>
        <source>亮度</source>
        <translation>Luminosità</translation>
    </message>
    <message>
        <source>关闭灯光</source>
        <translation>Spegni le luci</translation>
    </message>
    <message>
        <source>关闭显示屏时自动关灯</source>
        <translation>Spegni le luci quando lo schermo si spegne</translation>
    </message>
    <message>
        <source>关闭RGB灯</source>
        <translation>Spegni le luci RGB</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Veloran Deck</source>
        <translation>Veloran Deck</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Centro assistenza</translation>
    </message>
    <message>
        <source>客服</source>
        <translation>Contatta l&apos;assistenza</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Impostazioni</translation>
    </message>
</context>
<context>
    <name>MainSettings</name>
    <message>
        <source>输出</source>
        <translation>USCITE</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>INGRESSI</translation>
    </message>
</context>
<context>
    <name>MessageDialog</name>
    <message>
        <source>有新版本可升级,是否重启并升级软件?</source>
        <translation>È disponibile una nuova versione. Riavviare e aggiornare ora?</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>立即升级</source>
        <translation>Aggiorna ora</translation>
    </message>
</context>
<context>
    <name>MessageDialogMgr</name>
    <message>
        <source>有新版本可升级，是否重启并升级软件？</source>
        <translation>È disponibile una nuova versione. Riavviare e aggiornare ora?</translation>
    </message>
    <message>
        <source>Veloran 有新固件可升级，是否升级设备？</source>
        <translation>È disponibile un nuovo firmware per Veloran. Aggiornare il dispositivo?</translation>
    </message>
</context>
<context>
    <name>MicrophoneTab</name>
    <message>
        <source>高</source>
        <translation>Alto</translation>
    </message>
    <message>
        <source>中</source>
        <translation>Medio</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Basso</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Spento</translation>
    </message>
    <message>
        <source>XLR输入</source>
        <translation>Ingresso XLR</translation>
    </message>
    <message>
        <source>话筒</source>
        <translation>Microfono</translation>
    </message>
    <message>
        <source>增益</source>
        <translation>Guadagno</translation>
    </message>
    <message>
        <source>提高增益，避免声音过小。
降低增益，避免声音失真。</source>
        <translation>Aumenta il guadagno se il volume è basso.
Abbassalo per evitare distorsioni.</translation>
    </message>
    <message>
        <source>自动增益</source>
        <translation>Guadagno automatico</translation>
    </message>
    <message>
        <source>开启后，话筒音量将自动调节至最佳增益。</source>
        <translation>Se attivo, il microfono regola automaticamente il guadagno ottimale.</translation>
    </message>
    <message>
        <source>开始检测</source>
        <translation>Avvia</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Muto</translation>
    </message>
    <message>
        <source>48V幻象电源</source>
        <translation>Alimentazione phantom 48V</translation>
    </message>
    <message>
        <source>音频增强</source>
        <translation>Miglioramenti audio</translation>
    </message>
    <message>
        <source>原声</source>
        <translation>Acustico</translation>
    </message>
    <message>
        <source>播客</source>
        <translation>Podcast</translation>
    </message>
    <message>
        <source>游戏</source>
        <translation>Gioco</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Personale</translation>
    </message>
    <message>
        <source>AI降噪</source>
        <translation>Riduzione rumore IA</translation>
    </message>
    <message>
        <source>弱降噪可以在消除环境噪音的同时，保持高音质收音效果。强降噪可以更好的消除环境噪音，音质损失较弱降噪略大</source>
        <translation>La riduzione debole elimina il rumore ambientale mantenendo un&apos;acquisizione di alta qualità. Quella forte lo elimina meglio, ma con una perdita di qualità leggermente maggiore.</translation>
    </message>
    <message>
        <source>弱降噪</source>
        <translation>Debole</translation>
    </message>
    <message>
        <source>强降噪</source>
        <translation>Forte</translation>
    </message>
    <message>
        <source>防爆音</source>
        <translation>Controllo del clipping</translation>
    </message>
    <message>
        <source>用于限制音频信号的最大音量，开启后，动态控制话筒音量，防止突发爆音</source>
        <translation>Un limiter evita le distorsioni dovute ai picchi di livello.</translation>
    </message>
    <message>
        <source>压缩器</source>
        <translation>Compressore</translation>
    </message>
    <message>
        <source>压缩器用于控制音频信号的动态范围，开启后，可避免音量过高导致失真或听感刺耳。</source>
        <translation>Il compressore riduce la gamma dinamica ed evita le distorsioni dei suoni forti.</translation>
    </message>
    <message>
        <source>均衡器</source>
        <translation>Equalizzatore</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Regola le diverse frequenze per rendere la tua voce più chiara e personale.</translation>
    </message>
</context>
<context>
    <name>MonitorTab</name>
    <message>
        <source>监听</source>
        <translation>Monitor</translation>
    </message>
    <message>
        <source>麦克风/电脑监听比</source>
        <translation>Mix mic / PC</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Volume di uscita</translation>
    </message>
</context>
<context>
    <name>ResetWindow</name>
    <message>
        <source>恢复出厂</source>
        <translation>Ripristino di fabbrica</translation>
    </message>
    <message>
        <source>恢复出厂设置后，所有设置将恢复至默认状态，确定要恢复出厂设置吗？</source>
        <translation>Il ripristino di fabbrica cancellerà tutte le impostazioni. Continuare?</translation>
    </message>
    <message>
        <source>设置中</source>
        <translation>In corso</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Completato</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>设置</source>
        <translation>Impostazioni</translation>
    </message>
    <message>
        <source>关于 Veloran Deck</source>
        <translation>Informazioni su Veloran Deck</translation>
    </message>
    <message>
        <source>正在检测更新</source>
        <translation>Ricerca aggiornamenti</translation>
    </message>
    <message>
        <source>新版本下载失败，请检查网络环境或稍后重试</source>
        <translation>Download dell&apos;aggiornamento non riuscito. Controlla la connessione e riprova.</translation>
    </message>
    <message>
        <source>新版本 %1 下载完成，重新启动以进行升级</source>
        <translation>La versione %1 è pronta. Riavvia per completare l&apos;aggiornamento.</translation>
    </message>
    <message>
        <source>正在下载新版本 %1</source>
        <translation>Download della versione %1…</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>è aggiornato</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Riprova</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Aggiorna ora</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Verifica aggiornamenti</translation>
    </message>
    <message>
        <source>自动安装最新版本</source>
        <translation>Installa automaticamente gli aggiornamenti</translation>
    </message>
    <message>
        <source>如关闭自动安装，你仍会收到新版本提示，但需手动点击“立即升级”后才可升级</source>
        <translation>Senza installazione automatica riceverai gli avvisi delle nuove versioni e aggiornerai con «Aggiorna ora».</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Lingua</translation>
    </message>
    <message>
        <source>分析</source>
        <translation>Analisi</translation>
    </message>
    <message>
        <source>与Veloran分享使用数据</source>
        <translation>Condividi i dati di utilizzo con Veloran</translation>
    </message>
    <message>
        <source>隐私政策</source>
        <translation>Informativa sulla privacy</translation>
    </message>
</context>
<context>
    <name>UpgradeWindow</name>
    <message>
        <source>软件升级</source>
        <translation>Aggiornamento software</translation>
    </message>
    <message>
        <source>在升级过程中发生错误，建议您重新启动应用，或从官网下载最新版手动安装。</source>
        <translation>Aggiornamento non riuscito. Riavvia Veloran Deck o installa manualmente l&apos;ultima versione dal sito ufficiale.</translation>
    </message>
    <message>
        <source>前往官网下载</source>
        <translation>Scarica dal sito ufficiale</translation>
    </message>
    <message>
        <source>立即重启</source>
        <translation>Riavvia ora</translation>
    </message>
</context>
<context>
    <name>WelcomeLayout</name>
    <message>
        <source>连接你的 Veloran 设备</source>
        <translation>Collega il tuo dispositivo Veloran</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connesso</translation>
    </message>
    <message>
        <source>Veloran Deck 可将你的兼容设备变身为强大中枢
支持低延迟混音，体验高清音质，享受每一次声音表达</source>
        <translation>Veloran Deck trasforma il tuo dispositivo compatibile in un potente centro di controllo.
Mixaggio a bassa latenza, suono cristallino e ogni voce espressa senza sforzo.</translation>
    </message>
    <message>
        <source>开启高清音质之旅</source>
        <translation>Inizia</translation>
    </message>
    <message>
        <source>升级中</source>
        <translation>Aggiornamento in corso</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Non riuscito</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Aggiornamento non riuscito</translation>
    </message>
    <message>
        <source>升级成功</source>
        <translation>Aggiornamento completato</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用。
升级期间监听比灯亮属于正常自检，不会修改设置。</source>
        <translation>Non scollegare il dispositivo e non chiudere l&apos;applicazione.
Durante l&apos;aggiornamento l&apos;indicatore del mix mic/PC si accende per un autotest; le impostazioni non cambiano.</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用</source>
        <translation>Non scollegare il dispositivo e non chiudere l&apos;applicazione</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annulla</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Riprova</translation>
    </message>
</context>
<context>
    <name>eqcurve</name>
    <message>
        <source>原声</source>
        <translation>Acustico</translation>
    </message>
    <message>
        <source>人声增强</source>
        <translation>Voce in risalto</translation>
    </message>
    <message>
        <source>低切75Hz</source>
        <translation>Taglio bassi 75 Hz</translation>
    </message>
    <message>
        <source>低切150Hz</source>
        <translation>Taglio bassi 150 Hz</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Personale</translation>
    </message>
    <message>
        <source>平坦</source>
        <translation>Piatto</translation>
    </message>
    <message>
        <source>中频增强</source>
        <translation>Medi in risalto</translation>
    </message>
    <message>
        <source>低中频增强</source>
        <translation>Medio-bassi in risalto</translation>
    </message>
</context>
</TS>
