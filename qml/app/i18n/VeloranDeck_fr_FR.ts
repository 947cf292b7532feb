<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="zh_CN">
<context>
    <name>AudioController</name>
    <message>
        <source>title</source>
        <translation>Titre</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>MIX STREAM</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>MIX RETOUR</translation>
    </message>
</context>
<context>
    <name>AutoGainWindow</name>
    <message>
        <source>自动增益</source>
        <translation>Gain automatique</translation>
    </message>
    <message>
        <source>设置成功
增益为 %1</source>
        <translation>Réussi
Gain réglé sur %1.</translation>
    </message>
    <message>
        <source>使用正常的音量讲话
倒计时 </source>
        <translation>Parlez à votre volume habituel
Encore </translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annuler</translation>
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
        <translation>Ouvrir le navigateur</translation>
    </message>
</context>
<context>
    <name>CustomerWindow</name>
    <message>
        <source>客服</source>
        <translation>Contacter le support</translation>
    </message>
    <message>
        <source>联系我们</source>
        <translation>Nous contacter</translation>
    </message>
    <message>
        <source>周一到周日：9:00-12:00，13:00-18:00 (GMT+8)</source>
        <translation>Lun–dim : 9h00–12h00, 13h00–18h00 (GMT+8)</translation>
    </message>
    <message>
        <source>电话</source>
        <translation>Téléphone</translation>
    </message>
    <message>
        <source>400-000-0000</source>
        <translation>400-000-0000</translation>
    </message>
    <message>
        <source>企业微信（请扫码添加客服）</source>
        <translation>WeChat Entreprise (scannez le code QR pour ajouter le support)</translation>
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
        <translation>Support</translation>
    </message>
    <message>
        <source>Mon to Sun.9:00-12:00,13:00-18:30 (GMT+8)</source>
        <translation>Lun–dim : 9h00–12h00, 13h00–18h30 (GMT+8)</translation>
    </message>
    <message>
        <source>Online Support</source>
        <translation>Support en ligne</translation>
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
        <translation>Micro</translation>
    </message>
    <message>
        <source>监听</source>
        <translation>Retour</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Général</translation>
    </message>
    <message>
        <source>灯光</source>
        <translation>Éclairage</translation>
    </message>
    <message>
        <source>新版本</source>
        <translation>Nouvelle version</translation>
    </message>
</context>
<context>
    <name>EqualizerWindow</name>
    <message>
        <source>均衡器</source>
        <translation>Égaliseur</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Réglez les différentes fréquences pour une voix plus claire et plus personnelle.</translation>
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
        <translation>Raccourci</translation>
    </message>
    <message>
        <source>系统截图</source>
        <translation>Capture d&apos;écran</translation>
    </message>
    <message>
        <source>系统录屏</source>
        <translation>Enregistrer l&apos;écran</translation>
    </message>
    <message>
        <source>旋钮按键</source>
        <translation>Double appui sur la molette</translation>
    </message>
    <message>
        <source>当Veloran Deck 在后台运行时，双击旋钮可执行自定义功能。</source>
        <translation>Lorsque Veloran Deck tourne en arrière-plan, un double appui sur la molette exécute l&apos;action choisie.</translation>
    </message>
    <message>
        <source>请输入URL</source>
        <translation>Saisissez l&apos;URL</translation>
    </message>
    <message>
        <source>请输入键位</source>
        <translation>Saisissez les touches</translation>
    </message>
    <message>
        <source>通用</source>
        <translation>Général</translation>
    </message>
    <message>
        <source>有固件可升级</source>
        <translation>Mise à jour du micrologiciel disponible</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>est à jour</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Mettre à jour</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Rechercher des mises à jour</translation>
    </message>
    <message>
        <source>采样率</source>
        <translation>Fréquence d&apos;échantillonnage</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Voyant</translation>
    </message>
    <message>
        <source>恢复出厂</source>
        <translation>Réinitialisation</translation>
    </message>
</context>
<context>
    <name>LightingEffectPage</name>
    <message>
        <source>颜色</source>
        <translation>Couleur</translation>
    </message>
</context>
<context>
    <name>LightingSub1</name>
    <message>
        <source>单色</source>
        <translation>Uni</translation>
    </message>
    <message>
        <source>幻彩</source>
        <translation>Dégradé</translation>
    </message>
</context>
<context>
    <name>LightingSub2</name>
    <message>
        <source>单色</source>
        <translation>Uni</translation>
    </message>
    <message>
        <source>循环</source>
        <translation>Boucle</translation>
    </message>
    <message>
        <source>循环顺序</source>
        <translation>Ordre de la boucle</translation>
    </message>
</context>
<context>
    <name>LightingSub3</name>
    <message>
        <source>方向</source>
        <translation>Direction</translation>
    </message>
</context>
<context>
    <name>LightingTab</name>
    <message>
        <source>背景</source>
        <translation>Arrière-plan</translation>
    </message>
    <message>
        <source>声卡接电时显示背景灯光</source>
        <translation>L&apos;éclairage d&apos;arrière-plan s&apos;allume dès que Veloran est alimenté.</translation>
    </message>
    <message>
        <source>效果</source>
        <translation>Effets</translation>
    </message>
    <message>
        <source>静态</source>
        <translation>Fixe</translation>
    </message>
    <message>
        <source>呼吸</source>
        <translation>Souffle</translation>
    </message>
    <message>
        <source>波浪</source>
        <translation>Vague</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Éteint</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>ENTRÉES</translation>
    </message>
    <message>
        <source>话筒输入时，根据音量大小动态显示</source>
        <translation>L&apos;éclairage suit le niveau d&apos;entrée du micro.</translation>
    </message>
    <message>
        <source>颜色</source>
        <translation>Couleur</translation>
    </message>
    <message>
        <source>方向</source>
        <translation>Direction</translation>
    </message>
    <message>
        <source>指示灯</source>
        <translation>Voyant</translation>
    </message>
    <message>
        <source>麦克风增益</source>
        <translation>Gain du micro</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Volume de sortie</translation>
    </message>
    <message>
        <source>麦克风/电脑音量监听比</source>
        <translation>Mix micro/PC</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Muet</translation>
    </message>
    <message>
        <source>其他</source>
        <translation>Autres</translation>
    </message>
    <message>
        <source>亮度</source>
        <translation>Luminosité</translation>
    </message>
    <message>
        <source>关闭灯光</source>
        <translation>Éteindre l&apos;éclairage</translation>
    </message>
    <message>
        <source>关闭显示屏时自动关灯</source>
        <translation>Éteindre l&apos;éclairage avec l&apos;écran</translation>
    </message>
    <message>
        <source>关闭RGB灯</source>
        <translation>Éteindre les LED RGB</translation>
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
        <translation>Centre d&apos;aide</translation>
    </message>
    <message>
        <source>客服</source>
        <translation>Contacter le support</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Paramètres</translation>
    </message>
</context>
<context>
    <name>MainSettings</name>
    <message>
        <source>输出</source>
        <translation>SORTIES</translation>
    </message>
    <message>
        <source>输入</source>
        <translation>ENTRÉES</translation>
    </message>
</context>
<context>
    <name>MessageDialog</name>
    <message>
        <source>有新版本可升级,是否重启并升级软件?</source>
        <translation>Une nouvelle version est disponible. Redémarrer et mettre à jour ?</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>立即升级</source>
        <translation>Mettre à jour</translation>
    </message>
</context>
<context>
    <name>MessageDialogMgr</name>
    <message>
        <source>有新版本可升级，是否重启并升级软件？</source>
        <translation>Une nouvelle version est disponible. Redémarrer et mettre à jour ?</translation>
    </message>
    <message>
        <source>Veloran 有新固件可升级，是否升级设备？</source>
        <translation>Un nouveau micrologiciel est disponible pour Veloran. Mettre à jour l&apos;appareil ?</translation>
    </message>
</context>
<context>
    <name>MicrophoneTab</name>
    <message>
        <source>高</source>
        <translation>Élevé</translation>
    </message>
    <message>
        <source>中</source>
        <translation>Moyen</translation>
    </message>
    <message>
        <source>低</source>
        <translation>Faible</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Désactivé</translation>
    </message>
    <message>
        <source>XLR输入</source>
        <translation>Entrée XLR</translation>
    </message>
    <message>
        <source>话筒</source>
        <translation>Micro</translation>
    </message>
    <message>
        <source>增益</source>
        <translation>Gain</translation>
    </message>
    <message>
        <source>提高增益，避免声音过小。
降低增益，避免声音失真。</source>
        <translation>Augmentez le gain si le son est trop faible.
Baissez-le pour éviter la distorsion.</translation>
    </message>
    <message>
        <source>自动增益</source>
        <translation>Gain automatique</translation>
    </message>
    <message>
        <source>开启后，话筒音量将自动调节至最佳增益。</source>
        <translation>Une fois activé, le micro règle automatiquement le gain optimal.</translation>
    </message>
    <message>
        <source>开始检测</source>
        <translation>Démarrer</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Muet</translation>
    </message>
    <message>
        <source>48V幻象电源</source>
        <translation>Alimentation fantôme 48V</translation>
    </message>
    <message>
        <source>音频增强</source>
        <translation>Améliorations audio</translation>
    </message>
    <message>
        <source>原声</source>
        <translation>Naturel</translation>
    </message>
    <message>
        <source>播客</source>
        <translation>Podcast</translation>
    </message>
    <message>
        <source>游戏</source>
        <translation>Jeu</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Perso</translation>
    </message>
    <message>
        <source>AI降噪</source>
        <translation>Réduction de bruit IA</translation>
    </message>
    <message>
        <source>弱降噪可以在消除环境噪音的同时，保持高音质收音效果。强降噪可以更好的消除环境噪音，音质损失较弱降噪略大</source>
        <translation>La réduction faible supprime le bruit ambiant tout en préservant une captation de haute qualité. La réduction forte le supprime mieux, au prix d&apos;une perte de qualité un peu plus grande.</translation>
    </message>
    <message>
        <source>弱降噪</source>
        <translation>Faible</translation>
    </message>
    <message>
        <source>强降噪</source>
        <translation>Forte</translation>
    </message>
    <message>
        <source>防爆音</source>
        <translation>Anti-saturation</translation>
    </message>
    <message>
        <source>用于限制音频信号的最大音量，开启后，动态控制话筒音量，防止突发爆音</source>
        <translation>Un limiteur évite la distorsion due aux crêtes de niveau.</translation>
    </message>
    <message>
        <source>压缩器</source>
        <translation>Compresseur</translation>
    </message>
    <message>
        <source>压缩器用于控制音频信号的动态范围，开启后，可避免音量过高导致失真或听感刺耳。</source>
        <translation>Le compresseur réduit la plage dynamique et évite la distorsion des sons forts.</translation>
    </message>
    <message>
        <source>均衡器</source>
        <translation>Égaliseur</translation>
    </message>
    <message>
        <source>调节不同频率的音色，让你的声音更清晰、更有个性。</source>
        <translation>Réglez les différentes fréquences pour une voix plus claire et plus personnelle.</translation>
    </message>
</context>
<context>
    <name>MonitorTab</name>
    <message>
        <source>监听</source>
        <translation>Retour</translation>
    </message>
    <message>
        <source>麦克风/电脑监听比</source>
        <translation>Mix micro / PC</translation>
    </message>
    <message>
        <source>监听音量</source>
        <translation>Volume de sortie</translation>
    </message>
</context>
<context>
    <name>ResetWindow</name>
    <message>
        <source>恢复出厂</source>
        <translation>Réinitialisation</translation>
    </message>
    <message>
        <source>恢复出厂设置后，所有设置将恢复至默认状态，确定要恢复出厂设置吗？</source>
        <translation>La réinitialisation effacera toute la configuration. Continuer ?</translation>
    </message>
    <message>
        <source>设置中</source>
        <translation>En cours</translation>
    </message>
    <message>
        <source>成功</source>
        <translation>Réussi</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annuler</translation>
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
        <translation>Paramètres</translation>
    </message>
    <message>
        <source>关于 Veloran Deck</source>
        <translation>À propos de Veloran Deck</translation>
    </message>
    <message>
        <source>正在检测更新</source>
        <translation>Recherche de mises à jour</translation>
    </message>
    <message>
        <source>新版本下载失败，请检查网络环境或稍后重试</source>
        <translation>Échec du téléchargement. Vérifiez votre connexion et réessayez.</translation>
    </message>
    <message>
        <source>新版本 %1 下载完成，重新启动以进行升级</source>
        <translation>La version %1 est prête. Redémarrez pour terminer la mise à jour.</translation>
    </message>
    <message>
        <source>正在下载新版本 %1</source>
        <translation>Téléchargement de la version %1…</translation>
    </message>
    <message>
        <source>当前已是最新版本</source>
        <translation>est à jour</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Réessayer</translation>
    </message>
    <message>
        <source>立即更新</source>
        <translation>Mettre à jour</translation>
    </message>
    <message>
        <source>检查更新</source>
        <translation>Rechercher des mises à jour</translation>
    </message>
    <message>
        <source>自动安装最新版本</source>
        <translation>Installer les mises à jour automatiquement</translation>
    </message>
    <message>
        <source>如关闭自动安装，你仍会收到新版本提示，但需手动点击“立即升级”后才可升级</source>
        <translation>Sans installation automatique, vous êtes averti des nouvelles versions et les installez via « Mettre à jour ».</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Langue</translation>
    </message>
    <message>
        <source>分析</source>
        <translation>Analyse</translation>
    </message>
    <message>
        <source>与Veloran分享使用数据</source>
        <translation>Partager les données d&apos;utilisation avec Veloran</translation>
    </message>
    <message>
        <source>隐私政策</source>
        <translation>Politique de confidentialité</translation>
    </message>
</context>
<context>
    <name>UpgradeWindow</name>
    <message>
        <source>软件升级</source>
        <translation>Mise à jour du logiciel</translation>
    </message>
    <message>
        <source>在升级过程中发生错误，建议您重新启动应用，或从官网下载最新版手动安装。</source>
        <translation>La mise à jour a échoué. Redémarrez Veloran Deck ou installez manuellement la dernière version depuis le site officiel.</translation>
    </message>
    <message>
        <source>前往官网下载</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>立即重启</source>
        <translation>Redémarrer</translation>
    </message>
</context>
<context>
    <name>WelcomeLayout</name>
    <message>
        <source>连接你的 Veloran 设备</source>
        <translation>Connectez votre appareil Veloran</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connecté</translation>
    </message>
    <message>
        <source>Veloran Deck 可将你的兼容设备变身为强大中枢
支持低延迟混音，体验高清音质，享受每一次声音表达</source>
        <translation>Veloran Deck transforme votre équipement compatible en un puissant centre de contrôle.
Mixage à faible latence, son cristallin et chaque voix exprimée sans effort.</translation>
    </message>
    <message>
        <source>开启高清音质之旅</source>
        <translation>Commencer</translation>
    </message>
    <message>
        <source>升级中</source>
        <translation>Mise à jour…</translation>
    </message>
    <message>
        <source>失败</source>
        <translation>Échec</translation>
    </message>
    <message>
        <source>升级失败</source>
        <translation>Échec de la mise à jour</translation>
    </message>
    <message>
        <source>升级成功</source>
        <translation>Mise à jour réussie</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用。
升级期间监听比灯亮属于正常自检，不会修改设置。</source>
        <translation>Ne déconnectez pas l&apos;appareil et ne fermez pas l&apos;application.
Le voyant du mix micro/PC s&apos;allume pendant la mise à jour pour un autotest ; vos réglages ne changent pas.</translation>
    </message>
    <message>
        <source>请不要断开设备连接或关闭应用</source>
        <translation>Ne déconnectez pas l&apos;appareil et ne fermez pas l&apos;application</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Réessayer</translation>
    </message>
</context>
<context>
    <name>eqcurve</name>
    <message>
        <source>原声</source>
        <translation>Naturel</translation>
    </message>
    <message>
        <source>人声增强</source>
        <translation>Voix renforcée</translation>
    </message>
    <message>
        <source>低切75Hz</source>
        <translation>Coupe-bas 75 Hz</translation>
    </message>
    <message>
        <source>低切150Hz</source>
        <translation>Coupe-bas 150 Hz</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Perso</translation>
    </message>
    <message>
        <source>平坦</source>
        <translation>Plat</translation>
    </message>
    <message>
        <source>中频增强</source>
        <translation>Médiums renforcés</translation>
    </message>
    <message>
        <source>低中频增强</source>
        <translation>Bas-médiums renforcés</translation>
    </message>
</context>
</TS>
